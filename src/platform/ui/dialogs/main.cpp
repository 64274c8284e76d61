// quorin-dialogs: the windows of the platform's property frames and message
// boxes on a Linux desktop. Started by the platform for one dialog, with a
// socket to it as standard input and output: it reads what to show, says
// when the window is up, asks the platform to apply each change, and says
// how the window closed. It never touches the device itself.
#include "ui/dialogs/channel.h"
#include "ui/dialogs/property_sheet.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <string>

namespace {

// The theme's icon for a message box's kind, as Windows shows one.
const char *iconName(const std::string &icon) {
    if (icon == "error")
        return "dialog-error";
    if (icon == "question")
        return "dialog-question";
    if (icon == "warning")
        return "dialog-warning";
    if (icon == "information")
        return "dialog-information";
    return nullptr;
}

void onShown(GtkWidget *, gpointer) { dialogs::send({{"shown", true}}); }

// The platform never speaks unasked: input or a hang-up means it is gone.
gboolean onPlatform(gint, GIOCondition, gpointer box) {
    gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_CANCEL);
    return G_SOURCE_REMOVE;
}

void runMessageBox(const dialogs::json &opening) {
    GtkWidget *box = gtk_dialog_new_with_buttons(opening.value("caption", std::string()).c_str(), nullptr,
                                                 GTK_DIALOG_MODAL, "_OK", GTK_RESPONSE_OK, nullptr);
    gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
    gtk_window_set_resizable(GTK_WINDOW(box), FALSE);
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
    gtk_container_set_border_width(GTK_CONTAINER(row), 16);
    if (const char *icon = iconName(opening.value("icon", std::string()))) {
        GtkWidget *image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
        gtk_widget_set_valign(image, GTK_ALIGN_START);
        gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
    }
    GtkWidget *text = gtk_label_new(opening.value("text", std::string()).c_str());
    gtk_label_set_xalign(GTK_LABEL(text), 0);
    gtk_label_set_line_wrap(GTK_LABEL(text), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(text), 80);
    gtk_box_pack_start(GTK_BOX(row), text, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(box))), row, TRUE, TRUE, 0);
    gtk_widget_show_all(row);
    gtk_widget_grab_focus(gtk_dialog_get_widget_for_response(GTK_DIALOG(box), GTK_RESPONSE_OK));
    g_signal_connect(box, "map", G_CALLBACK(onShown), nullptr);
    guint watch = g_unix_fd_add(STDIN_FILENO, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onPlatform,
                                box);
    if (gtk_dialog_run(GTK_DIALOG(box)) != GTK_RESPONSE_CANCEL)
        g_source_remove(watch);
    gtk_widget_destroy(box);
    dialogs::send({{"close", "ok"}});
}

} // namespace

int main(int argc, char **argv) {
    dialogs::json opening;
    if (!dialogs::receive(opening)) {
        std::fprintf(stderr, "quorin-dialogs: started by the platform only, which says what to show\n");
        return 2;
    }
    if (!gtk_init_check(&argc, &argv)) {
        dialogs::send({{"nodisplay", true}});
        return 0;
    }
    std::string dialog = opening.value("dialog", std::string());
    if (dialog == "message")
        runMessageBox(opening);
    else if (dialog == "properties")
        dialogs::runPropertySheet(opening);
    else
        return 2;
    return 0;
}
