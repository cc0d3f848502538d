# wxWidgets through wx-config, as imported targets:
#   wx::base  the non-GUI part (strings, config files)
#   wx::core  the GTK user interface on top of it
# Imported include folders count as system headers, so our warnings stay
# about our own code.
find_program(WX_CONFIG wx-config REQUIRED)

function(_talvora_wx_target target libs)
  execute_process(COMMAND ${WX_CONFIG} --cxxflags ${libs}
                  OUTPUT_VARIABLE cxxflags OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${WX_CONFIG} --libs ${libs}
                  OUTPUT_VARIABLE ldflags OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(cxxflags UNIX_COMMAND "${cxxflags}")
  separate_arguments(ldflags UNIX_COMMAND "${ldflags}")
  set(includes "")
  set(defines "")
  set(options "")
  foreach(flag IN LISTS cxxflags)
    if(flag MATCHES "^-I(.+)")
      list(APPEND includes "${CMAKE_MATCH_1}")
    elseif(flag STREQUAL "-DwxUSE_GUI=0")
      # A library that links only wx::base may still be linked together
      # with the GUI; the define would then clash with wx::core's headers.
    elseif(flag MATCHES "^-D(.+)")
      list(APPEND defines "${CMAKE_MATCH_1}")
    else()
      list(APPEND options "${flag}")
    endif()
  endforeach()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${includes}"
    INTERFACE_COMPILE_DEFINITIONS "${defines}"
    INTERFACE_COMPILE_OPTIONS "${options}"
    INTERFACE_LINK_LIBRARIES "${ldflags}")
endfunction()

_talvora_wx_target(wx::base base)
_talvora_wx_target(wx::core core,base)
