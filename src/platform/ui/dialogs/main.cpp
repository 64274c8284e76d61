// quorin-dialogs: the windows of the platform's property frames, message
// boxes and renderers on a Linux desktop, in the library that the program
// (loader.cpp) loads once it has loaded GTK. Started by the platform for one
// window, with a socket to it as standard input and output: it reads what to
// show, says when the window is up, asks the platform to apply each change,
// and says how the window closed. It never touches the device itself; a
// renderer's frames come in shared memory.
#include "ui/dialogs/channel.h"
#include "ui/dialogs/entry.h"
#include "ui/dialogs/property_sheet.h"
#include "ui/dialogs/video_window.h"
#include "ui/dialog_protocol.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

namespace protocol = platform::protocol;
namespace key = protocol::key;
using protocol::readOr;

// The theme's icon for a message box's kind, as Windows shows one.
const char *iconName(protocol::Icon icon) {
    switch (icon) {
    case protocol::Icon::None:
        return nullptr;
    case protocol::Icon::Error:
        return "dialog-error";
    case protocol::Icon::Question:
        return "dialog-question";
    case protocol::Icon::Warning:
        return "dialog-warning";
    case protocol::Icon::Information:
        return "dialog-information";
    }
    return nullptr;
}

void onShown(GtkWidget *, gpointer) { dialogs::send({{key::shown, true}}); }

// The platform never speaks unasked: input or a hang-up means it is gone.
gboolean onPlatform(gint, GIOCondition, gpointer box) {
    gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_CANCEL);
    return G_SOURCE_REMOVE;
}

// Destroyed from outside (another X client destroyed the window): read, as
// if its OK was pressed. Handled here, so that the toolkit does not destroy
// the widgets of a window already gone.
gboolean onDestroyed(GtkWidget *box, GdkEvent *, gpointer gone) {
    *static_cast<bool *>(gone) = true;
    gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
    return TRUE;
}

void runMessageBox(const dialogs::json &opening) {
    GtkWidget *box = gtk_dialog_new_with_buttons(readOr(opening, key::caption, std::string()).c_str(), nullptr,
                                                 GTK_DIALOG_MODAL, "_OK", GTK_RESPONSE_OK, nullptr);
    gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
    gtk_window_set_resizable(GTK_WINDOW(box), FALSE);
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
    gtk_container_set_border_width(GTK_CONTAINER(row), 16);
    if (const char *icon = iconName(readOr(opening, key::icon, protocol::Icon::None))) {
        GtkWidget *image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
        gtk_widget_set_valign(image, GTK_ALIGN_START);
        gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
    }
    GtkWidget *text = gtk_label_new(readOr(opening, key::text, std::string()).c_str());
    gtk_label_set_xalign(GTK_LABEL(text), 0);
    gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(text), 80);
    gtk_box_pack_start(GTK_BOX(row), text, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(box))), row, TRUE, TRUE, 0);
    gtk_widget_show_all(row);
    gtk_widget_grab_focus(gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_OK));
    g_signal_connect(box, "map", G_CALLBACK(onShown), nullptr);
    guint watch =
        g_unix_fd_add(STDIN_FILENO, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onPlatform, box);
    bool gone = false;
    g_signal_connect(box, "destroy-event", G_CALLBACK(onDestroyed), &gone);
    if (gtk_dialog_run(GTK_DIALOG(box)) != GTK_RESPONSE_CANCEL)
        g_source_remove(watch);
    // A window destroyed from outside is left as it is: the program ends.
    if (!gone)
        gtk_widget_destroy(box);
    dialogs::send({{key::close, protocol::nameOf(protocol::Closed::Ok)}});
}

} // namespace

int quorinDialogsMain(int argc, char **argv) {
    dialogs::json opening;
    if (!dialogs::receive(opening)) {
        std::fprintf(stderr, "quorin-dialogs: started by the platform only, which says what to show\n");
        return 2;
    }
    std::optional<protocol::Dialog> dialog = protocol::read<protocol::Dialog>(opening, key::dialog);
    if (!dialog) {
        std::fprintf(stderr, "quorin-dialogs: the platform asked for no dialog this program shows\n");
        return 2;
    }
    if (!gtk_init_check(&argc, &argv)) {
        dialogs::send({{key::nodisplay, true}});
        return 0;
    }
    switch (*dialog) {
    case protocol::Dialog::Message:
        runMessageBox(opening);
        break;
    case protocol::Dialog::Properties:
        dialogs::runPropertySheet(opening);
        break;
    case protocol::Dialog::Video:
        if (!dialogs::runVideoWindow(opening))
            return 2;
        break;
    }
    return 0;
}
