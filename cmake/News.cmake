# Reads NEWS into the software-centre description's <release> elements
# (TALVORA_RELEASES) and the newest release's date (TALVORA_RELEASE_DATE),
# and insists that the newest release is project(VERSION): one version
# everywhere.
file(STRINGS ${PROJECT_SOURCE_DIR}/NEWS talvora_news_lines ENCODING UTF-8)
set(TALVORA_RELEASES "")
set(talvora_newest "")
set(talvora_item "")
set(talvora_open FALSE)

macro(talvora_end_item)
  if(NOT talvora_item STREQUAL "")
    string(REPLACE "&" "&amp;" talvora_item "${talvora_item}")
    string(REPLACE "<" "&lt;" talvora_item "${talvora_item}")
    string(REPLACE ">" "&gt;" talvora_item "${talvora_item}")
    string(APPEND TALVORA_RELEASES "          <li>${talvora_item}</li>\n")
    set(talvora_item "")
  endif()
endmacro()

macro(talvora_end_release)
  talvora_end_item()
  if(talvora_open)
    string(APPEND TALVORA_RELEASES "        </ul>\n      </description>\n    </release>\n")
    set(talvora_open FALSE)
  endif()
endmacro()

foreach(line IN LISTS talvora_news_lines)
  if(line MATCHES "^Version ([0-9]+\\.[0-9]+\\.[0-9]+) \\(([0-9]+-[0-9]+-[0-9]+)\\)$")
    talvora_end_release()
    if(talvora_newest STREQUAL "")
      set(talvora_newest ${CMAKE_MATCH_1})
      set(TALVORA_RELEASE_DATE ${CMAKE_MATCH_2})
    endif()
    string(APPEND TALVORA_RELEASES
           "    <release version=\"${CMAKE_MATCH_1}\" date=\"${CMAKE_MATCH_2}\">\n      <description>\n        <ul>\n")
    set(talvora_open TRUE)
  elseif(talvora_open AND line MATCHES "^\\* (.*)$")
    talvora_end_item()
    set(talvora_item "${CMAKE_MATCH_1}")
  elseif(talvora_open AND line MATCHES "^  +(.*)$")
    string(APPEND talvora_item " ${CMAKE_MATCH_1}")
  endif()
endforeach()
talvora_end_release()

if(NOT talvora_newest STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "NEWS names version '${talvora_newest}' first, project(VERSION) is ${PROJECT_VERSION}: "
                      "give the release its entry in NEWS")
endif()
