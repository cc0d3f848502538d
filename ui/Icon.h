// The program's icon, carried inside the program.
#pragma once

#include <wx/bitmap.h>
#include <wx/iconbndl.h>

// 16, 32 and 48 pixel versions, for the window manager to choose from.
wxIconBundle ProgramIcons();

// One size of it (16, 32 or 48), for drawing inside a window.
wxBitmap ProgramIconBitmap(int size);
