#include "ui/Icon.h"

#include <wx/image.h>
#include <wx/mstream.h>

#include <cstddef>

extern const unsigned char kIcon16[];
extern const std::size_t kIcon16_size;
extern const unsigned char kIcon32[];
extern const std::size_t kIcon32_size;
extern const unsigned char kIcon48[];
extern const std::size_t kIcon48_size;

namespace {

wxImage Decode(const unsigned char* data, std::size_t size)
{
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr)
        wxImage::AddHandler(new wxPNGHandler);
    wxMemoryInputStream stream(data, size);
    return wxImage(stream, wxBITMAP_TYPE_PNG);
}

} // namespace

wxBitmap ProgramIconBitmap(int size)
{
    if (size <= 16)
        return wxBitmap(Decode(kIcon16, kIcon16_size));
    if (size <= 32)
        return wxBitmap(Decode(kIcon32, kIcon32_size));
    return wxBitmap(Decode(kIcon48, kIcon48_size));
}

wxIconBundle ProgramIcons()
{
    wxIconBundle icons;
    for (int size : {16, 32, 48}) {
        wxIcon icon;
        icon.CopyFromBitmap(ProgramIconBitmap(size));
        icons.AddIcon(icon);
    }
    return icons;
}
