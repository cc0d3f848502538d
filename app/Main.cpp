#include "app/BookCopyApp.h"

wxIMPLEMENT_APP(CBookCopyApp);
