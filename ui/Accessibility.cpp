#include "ui/Accessibility.h"

#include <wx/dataview.h>
#include <wx/gauge.h>
#include <wx/listbox.h>

#include <gtk/gtk.h>

#include <algorithm>
#include <cstring>

namespace {

AtkObject* Accessible(wxWindow* control)
{
    GtkWidget* widget = control->GetHandle();
    return widget != nullptr ? gtk_widget_get_accessible(widget) : nullptr;
}

using RunAttributesFn = AtkAttributeSet* (*)(AtkText*, gint, gint*, gint*);
RunAttributesFn g_gtkRunAttributes = nullptr;

AtkAttributeSet* WholeRunAttributes(AtkText* text, gint offset, gint* start, gint* end)
{
    AtkAttributeSet* attributes = g_gtkRunAttributes(text, offset, start, end);
    gchar* all = atk_text_get_text(text, 0, -1);
    if (all != nullptr) {
        const glong characters = g_utf8_strlen(all, -1);
        const glong bytes = static_cast<glong>(std::strlen(all));
        // GTK takes the length in characters for a byte position, so the
        // run that should end the text ends where that many bytes end.
        if (characters < bytes && *end == g_utf8_pointer_to_offset(all, all + characters))
            *end = static_cast<gint>(characters);
        g_free(all);
    }
    return attributes;
}

} // namespace

void ReadWholeText(wxWindow* field)
{
    AtkObject* accessible = Accessible(field);
    if (accessible == nullptr || !ATK_IS_TEXT(accessible))
        return;
    auto* text = static_cast<AtkTextIface*>(g_type_interface_peek(G_OBJECT_GET_CLASS(accessible), ATK_TYPE_TEXT));
    // Every field of the class shares the table; it is corrected once, and
    // only the one class of field the program uses.
    if (text == nullptr || text->get_run_attributes == nullptr || g_gtkRunAttributes != nullptr)
        return;
    g_gtkRunAttributes = text->get_run_attributes;
    text->get_run_attributes = WholeRunAttributes;
}

WXWidget FocusWidget(wxWindow* control)
{
    if (auto* table = dynamic_cast<wxDataViewCtrl*>(control))
        return table->GtkGetTreeView();
    if (auto* list = dynamic_cast<wxListBox*>(control))
        return GTK_WIDGET(list->m_treeview);
    return control->GetHandle();
}

void SetAccessibleDescription(wxWindow* control, const wxString& text)
{
    AtkObject* accessible = Accessible(control);
    if (accessible == nullptr)
        return;
    const wxScopedCharBuffer utf8 = text.utf8_str();
    // A change is announced to whoever is on the control; a repeat is noise.
    const char* now = atk_object_get_description(accessible);
    if (now != nullptr && g_strcmp0(now, utf8.data()) == 0)
        return;
    atk_object_set_description(accessible, utf8.data());
}

wxString AccessibleDescription(wxWindow* control)
{
    AtkObject* accessible = Accessible(control);
    const char* text = accessible != nullptr ? atk_object_get_description(accessible) : nullptr;
    return text != nullptr ? wxString::FromUTF8(text) : wxString();
}

void ShowFocusClearly(wxWindow* window)
{
    GtkWidget* widget = window->GetHandle();
    if (widget == nullptr || !GTK_IS_WINDOW(widget))
        return;
    gtk_window_set_focus_visible(GTK_WINDOW(widget), TRUE);
    // Once per screen; the theme's text colour keeps a high-contrast theme's.
    GdkScreen* screen = gtk_widget_get_screen(widget);
    if (g_object_get_data(G_OBJECT(screen), "talvora-focus-ring") != nullptr)
        return;
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider,
                                    "*:focus { outline-style: solid; outline-width: 3px;"
                                    " outline-color: @theme_fg_color; outline-offset: 1px; }",
                                    -1, nullptr);
    gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_set_data_full(G_OBJECT(screen), "talvora-focus-ring", provider, g_object_unref);
}

void AddAccessibleLabel(wxWindow* control, wxWindow* label)
{
    AtkObject* target = Accessible(control);
    AtkObject* source = Accessible(label);
    if (target == nullptr || source == nullptr)
        return;
    atk_object_add_relationship(target, ATK_RELATION_LABELLED_BY, source);
    atk_object_add_relationship(source, ATK_RELATION_LABEL_FOR, target);
}

void MakeBarVisible(wxGauge* bar, int height)
{
    GtkWidget* widget = bar->GetHandle();
    // Each thickness gets a name of its own: the trough and the fill are
    // parts of the bar that a provider on the bar alone does not reach.
    const wxString name = wxString::Format("talvora-bar-%d", height);
    gtk_widget_set_name(widget, name.utf8_str());
    // The theme's colours, so that a high-contrast theme keeps its own; the
    // outline in the text colour contrasts with the window as text does.
    const wxString css = wxString::Format(
        "#%s trough { min-height: %dpx; background-color: @theme_base_color;"
        " border: 1px solid @theme_fg_color; border-radius: 0; }"
        "#%s progress { min-height: %dpx; background-color: @theme_selected_bg_color;"
        " border: none; border-radius: 0; }"
        "#%s text { color: @theme_fg_color; }",
        name, height, name, height, name);
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css.utf8_str(), -1, nullptr);
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(widget), GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
    gtk_progress_bar_set_show_text(GTK_PROGRESS_BAR(widget), TRUE);
}

wxSize NativeSize(wxWindow* control)
{
    GtkRequisition minimum, natural;
    gtk_widget_get_preferred_size(control->GetHandle(), &minimum, &natural);
    return wxSize(natural.width, natural.height);
}

void SetBarText(wxGauge* bar, const wxString& text)
{
    gtk_progress_bar_set_text(GTK_PROGRESS_BAR(bar->GetHandle()), text.utf8_str());
}

void MakeAnnouncer(wxStaticText* line)
{
    if (AtkObject* accessible = Accessible(line))
        atk_object_set_role(accessible, ATK_ROLE_NOTIFICATION);
}

void Announce(wxStaticText* line, const wxString& text)
{
    line->SetLabelText(text);
    // A notification is spoken when it becomes showing; a text change alone
    // is only spoken for the control that has the focus.
    GtkWidget* widget = line->GetHandle();
    if (gtk_widget_get_mapped(widget)) {
        gtk_widget_hide(widget);
        gtk_widget_show(widget);
    }
}

void WrapWholeText(wxStaticText* text, int width)
{
    GtkWidget* widget = text->GetHandle();
    if (widget == nullptr || !GTK_IS_LABEL(widget))
        return;
    GtkLabel* label = GTK_LABEL(widget);
    gtk_label_set_line_wrap(label, TRUE);
    gtk_label_set_line_wrap_mode(label, PANGO_WRAP_WORD_CHAR);
    // The natural width is then the width asked for, and the height the
    // one the text needs at that width.
    gtk_label_set_max_width_chars(label, 1);
    gtk_widget_set_size_request(widget, width, -1);
}

int WrappedHeight(wxStaticText* text, int width)
{
    GtkWidget* widget = text->GetHandle();
    if (widget == nullptr)
        return text->GetBestSize().y;
    PangoLayout* layout = gtk_widget_create_pango_layout(widget, text->GetLabelText().utf8_str());
    pango_layout_set_width(layout, width * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    g_object_unref(layout);
    return std::max(h, text->GetCharHeight());
}
