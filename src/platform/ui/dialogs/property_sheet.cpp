#include "ui/dialogs/property_sheet.h"

#include "ui/dialog_protocol.h"

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace dialogs {

namespace {

namespace protocol = platform::protocol;
namespace key = protocol::key;
using platform::ControlType;
using protocol::read;
using protocol::readOr;

struct ControlRow {
    uint32_t id;
    ControlType type;
    GtkWidget *widget;
    GtkWidget *state; // says why the control cannot be changed now
    bool readOnly;
    int64_t reported = 0; // the value the device last reported
};

struct Sheet {
    GtkWidget *window = nullptr;
    GtkWidget *status = nullptr; // the device's refusal of the last change
    GtkWidget *apply = nullptr;
    std::vector<ControlRow> rows;
    // The format page: the sizes offered and the one the device has.
    GtkWidget *sizes = nullptr;
    json offered = json::array();
    int appliedSize = -1;
    guint watch = 0;       // the platform's end of the socket
    bool updating = false; // widgets being set from the device's answer
    bool shown = false;
    bool closed = false;
    bool gone = false; // its window was destroyed from outside
};

void markChanged(Sheet &sheet) { gtk_widget_set_sensitive(sheet.apply, TRUE); }

void showStatus(Sheet &sheet, const std::string &text) { gtk_label_set_text(GTK_LABEL(sheet.status), text.c_str()); }

// The platform is gone: nothing this window does can reach the device.
void lose(Sheet &sheet) {
    sheet.closed = true;
    gtk_main_quit();
}

void close(Sheet &sheet, protocol::Closed how) {
    if (sheet.closed)
        return;
    sheet.closed = true;
    send({{key::close, protocol::nameOf(how)}});
    gtk_main_quit();
}

// Values and states as the device reports them, put in the widgets without
// reporting them back as changes.
void update(Sheet &sheet, const json &states) {
    sheet.updating = true;
    for (const json &state : states) {
        for (ControlRow &row : sheet.rows) {
            if (read<uint32_t>(state, key::id) != row.id)
                continue;
            int64_t value = readOr(state, key::value, row.reported);
            row.reported = value;
            switch (row.type) {
            case ControlType::Integer:
                gtk_range_set_value(GTK_RANGE(row.widget), static_cast<double>(value));
                break;
            case ControlType::Boolean:
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(row.widget), value != 0);
                break;
            case ControlType::Menu:
            case ControlType::IntegerMenu:
                gtk_combo_box_set_active_id(GTK_COMBO_BOX(row.widget), std::to_string(value).c_str());
                break;
            case ControlType::Button:
                break;
            }
            bool inactive = readOr(state, key::inactive, false), grabbed = readOr(state, key::grabbed, false);
            const char *why = row.readOnly ? "read-only" : grabbed ? "busy" : inactive ? "inactive" : "";
            gtk_label_set_text(GTK_LABEL(row.state), why);
            gtk_widget_set_sensitive(row.widget, !*why);
        }
    }
    sheet.updating = false;
}

void change(Sheet &sheet, uint32_t id, int64_t value, bool press = false) {
    if (sheet.updating || sheet.closed)
        return;
    // A widget that reports the value the device has (a slider set back
    // after a refusal signals again) asks nothing; a button always acts.
    for (const ControlRow &row : sheet.rows)
        if (row.id == id && row.reported == value && !press)
            return;
    json answer;
    if (!ask({{key::set, {{key::id, id}, {key::value, value}}}}, answer))
        return lose(sheet);
    update(sheet, protocol::arrayAt(answer, key::controls));
    showStatus(sheet, readOr(answer, key::refused, std::string()));
    markChanged(sheet);
}

struct Handler {
    Sheet *sheet;
    uint32_t id;
};

Handler *handlerFor(Sheet &sheet, uint32_t id, GtkWidget *widget) {
    auto *handler = new Handler{&sheet, id};
    g_object_set_data_full(G_OBJECT(widget), "quorin-handler", handler,
                           [](gpointer data) { delete static_cast<Handler *>(data); });
    return handler;
}

void onSlider(GtkRange *range, gpointer data) {
    auto *h = static_cast<Handler *>(data);
    change(*h->sheet, h->id, std::llround(gtk_range_get_value(range)));
}
void onToggle(GtkToggleButton *button, gpointer data) {
    auto *h = static_cast<Handler *>(data);
    change(*h->sheet, h->id, gtk_toggle_button_get_active(button) ? 1 : 0);
}
void onChoice(GtkComboBox *box, gpointer data) {
    auto *h = static_cast<Handler *>(data);
    // The ids are the choices' values, written by this program.
    if (const char *id = gtk_combo_box_get_active_id(box))
        change(*h->sheet, h->id, std::strtoll(id, nullptr, 10));
}
void onPress(GtkButton *, gpointer data) {
    auto *h = static_cast<Handler *>(data);
    change(*h->sheet, h->id, 1, true);
}

GtkWidget *controlWidget(Sheet &sheet, uint32_t id, ControlType type, const json &c) {
    GtkWidget *widget = nullptr;
    switch (type) {
    case ControlType::Integer: {
        double step = std::max<double>(1, readOr(c, key::step, 1.0));
        double minimum = readOr(c, key::minimum, 0.0);
        widget = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, minimum,
                                          std::max(minimum + step, readOr(c, key::maximum, 0.0)), step);
        gtk_scale_set_draw_value(GTK_SCALE(widget), FALSE); // its own column keeps the sliders aligned
        gtk_range_set_round_digits(GTK_RANGE(widget), 0);
        gtk_widget_set_size_request(widget, 260, -1);
        g_signal_connect(widget, "value-changed", G_CALLBACK(onSlider), handlerFor(sheet, id, widget));
        break;
    }
    case ControlType::Boolean:
        widget = gtk_check_button_new();
        g_signal_connect(widget, "toggled", G_CALLBACK(onToggle), handlerFor(sheet, id, widget));
        break;
    case ControlType::Menu:
    case ControlType::IntegerMenu:
        widget = gtk_combo_box_text_new();
        for (const json &choice : protocol::arrayAt(c, key::choices)) {
            std::optional<int64_t> value =
                choice.is_array() && choice.size() == 2 ? protocol::as<int64_t>(choice[0]) : std::nullopt;
            std::optional<std::string> label = value ? protocol::as<std::string>(choice[1]) : std::nullopt;
            if (label)
                gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(widget), std::to_string(*value).c_str(), label->c_str());
        }
        g_signal_connect(widget, "changed", G_CALLBACK(onChoice), handlerFor(sheet, id, widget));
        break;
    case ControlType::Button:
        widget = gtk_button_new_with_label(readOr(c, key::name, std::string()).c_str());
        gtk_widget_set_halign(widget, GTK_ALIGN_START);
        g_signal_connect(widget, "clicked", G_CALLBACK(onPress), handlerFor(sheet, id, widget));
        break;
    }
    gtk_widget_set_hexpand(widget, TRUE);
    return widget;
}

GtkWidget *label(const std::string &text, float xalign = 0) {
    GtkWidget *widget = gtk_label_new(text.c_str());
    gtk_label_set_xalign(GTK_LABEL(widget), xalign);
    return widget;
}

GtkWidget *grid() {
    GtkWidget *g = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(g), 8);
    gtk_grid_set_column_spacing(GTK_GRID(g), 12);
    gtk_container_set_border_width(GTK_CONTAINER(g), 12);
    return g;
}

void showValue(GtkRange *range, gpointer label) {
    gtk_label_set_text(GTK_LABEL(label), std::to_string(std::llround(gtk_range_get_value(range))).c_str());
}

// A slider's value beside it, in a column of its own so that moving one
// slider moves no other.
GtkWidget *valueLabel(GtkWidget *slider) {
    GtkWidget *value = label("");
    g_signal_connect(slider, "value-changed", G_CALLBACK(showValue), value);
    showValue(GTK_RANGE(slider), value);
    return value;
}

GtkWidget *controlPage(Sheet &sheet, const json &page) {
    GtkWidget *g = grid();
    int top = 0;
    if (std::optional<std::string> note = read<std::string>(page, key::note))
        gtk_grid_attach(GTK_GRID(g), label(*note), 0, top++, 4, 1);
    json states = json::array();
    for (const json &c : protocol::arrayAt(page, key::controls)) {
        // A control without an id or of a type this program does not know
        // cannot be shown; the rest of the page can.
        std::optional<uint32_t> id = read<uint32_t>(c, key::id);
        std::optional<ControlType> type = read<ControlType>(c, key::type);
        if (!id || !type)
            continue;
        GtkWidget *widget = controlWidget(sheet, *id, *type, c);
        // A button says its name itself.
        std::string name = *type == ControlType::Button ? "" : readOr(c, key::name, std::string());
        GtkWidget *state = label("");
        gtk_widget_set_sensitive(state, FALSE);
        gtk_grid_attach(GTK_GRID(g), label(name), 0, top, 1, 1);
        gtk_grid_attach(GTK_GRID(g), widget, 1, top, 1, 1);
        if (*type == ControlType::Integer)
            gtk_grid_attach(GTK_GRID(g), valueLabel(widget), 2, top, 1, 1);
        gtk_grid_attach(GTK_GRID(g), state, 3, top++, 1, 1);
        sheet.rows.push_back({*id, *type, widget, state, readOr(c, key::readOnly, false)});
        states.push_back(c);
    }
    update(sheet, states);
    GtkWidget *scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scrolled), TRUE);
    gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scrolled), 520);
    gtk_container_add(GTK_CONTAINER(scrolled), g);
    return scrolled;
}

std::string sizeText(const std::pair<long, long> &size) {
    return std::to_string(size.first) + " x " + std::to_string(size.second);
}

void onSize(GtkComboBox *, gpointer data) {
    auto *sheet = static_cast<Sheet *>(data);
    if (!sheet->updating)
        markChanged(*sheet);
}

GtkWidget *formatPage(Sheet &sheet, const json &page) {
    GtkWidget *g = grid();
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g fps", readOr(page, key::fps, 0.0));
    gtk_grid_attach(GTK_GRID(g), label("Frame rate:"), 0, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(g), label(rate), 1, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(g), label("Color space / compression:"), 0, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(g), label(readOr(page, key::colour, std::string())), 1, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(g), label("Output size:"), 0, 2, 1, 1);
    sheet.sizes = gtk_combo_box_text_new();
    const json *current = page.contains(key::current) ? &page[key::current] : nullptr;
    for (const json &offered : protocol::arrayAt(page, key::sizes)) {
        std::optional<std::pair<long, long>> size = protocol::asPair<long>(offered);
        if (!size)
            continue;
        if (current && offered == *current)
            sheet.appliedSize = static_cast<int>(sheet.offered.size());
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(sheet.sizes), sizeText(*size).c_str());
        sheet.offered.push_back(offered);
    }
    sheet.updating = true;
    gtk_combo_box_set_active(GTK_COMBO_BOX(sheet.sizes), sheet.appliedSize);
    sheet.updating = false;
    g_signal_connect(sheet.sizes, "changed", G_CALLBACK(onSize), &sheet);
    gtk_widget_set_hexpand(sheet.sizes, TRUE);
    gtk_grid_attach(GTK_GRID(g), sheet.sizes, 1, 2, 1, 1);
    return g;
}

// Apply, or the first half of OK: false when the device refused.
bool applyChanges(Sheet &sheet) {
    json apply = json::object();
    int chosen = sheet.sizes ? gtk_combo_box_get_active(GTK_COMBO_BOX(sheet.sizes)) : -1;
    if (chosen >= 0 && chosen != sheet.appliedSize)
        apply[key::size] = sheet.offered[static_cast<size_t>(chosen)];
    json answer;
    if (!ask({{key::apply, apply}}, answer)) {
        lose(sheet);
        return false;
    }
    if (answer.contains(key::refused)) {
        showStatus(sheet, readOr(answer, key::refused, std::string("The device refused the change.")));
        return false;
    }
    if (apply.contains(key::size))
        sheet.appliedSize = chosen;
    showStatus(sheet, "");
    gtk_widget_set_sensitive(sheet.apply, FALSE);
    return true;
}

void onOk(GtkButton *, gpointer data) {
    auto *sheet = static_cast<Sheet *>(data);
    if (applyChanges(*sheet))
        close(*sheet, protocol::Closed::Ok);
}
void onCancel(GtkButton *, gpointer data) { close(*static_cast<Sheet *>(data), protocol::Closed::Cancel); }
void onApply(GtkButton *, gpointer data) { applyChanges(*static_cast<Sheet *>(data)); }
gboolean onDelete(GtkWidget *, GdkEvent *, gpointer data) {
    close(*static_cast<Sheet *>(data), protocol::Closed::Cancel);
    return TRUE;
}
// Destroyed from outside (another X client destroyed the window): closed as
// with Cancel, as the window manager's close button would. Handled here, so
// that the toolkit does not destroy the widgets of a window already gone.
gboolean onDestroyed(GtkWidget *, GdkEvent *, gpointer data) {
    auto *sheet = static_cast<Sheet *>(data);
    sheet->gone = true;
    close(*sheet, protocol::Closed::Cancel);
    return TRUE;
}

// Escape closes the window as Cancel does, as on Windows.
gboolean onKey(GtkWidget *, GdkEventKey *event, gpointer data) {
    if (event->keyval != GDK_KEY_Escape)
        return FALSE;
    close(*static_cast<Sheet *>(data), protocol::Closed::Cancel);
    return TRUE;
}

gboolean onMapped(GtkWidget *, GdkEvent *, gpointer data) {
    auto *sheet = static_cast<Sheet *>(data);
    if (!sheet->shown && !send({{key::shown, true}}))
        lose(*sheet);
    sheet->shown = true;
    return FALSE;
}

// The platform never speaks unasked: input or a hang-up now means it is gone.
gboolean onPlatform(gint, GIOCondition, gpointer data) {
    auto *sheet = static_cast<Sheet *>(data);
    sheet->watch = 0;
    lose(*sheet);
    return G_SOURCE_REMOVE;
}

GtkWidget *button(const char *mnemonic, GCallback callback, Sheet &sheet) {
    GtkWidget *b = gtk_button_new_with_mnemonic(mnemonic);
    g_signal_connect(b, "clicked", callback, &sheet);
    return b;
}

} // namespace

void runPropertySheet(const json &opening) {
    Sheet sheet;
    sheet.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(sheet.window), readOr(opening, key::caption, std::string()).c_str());
    gtk_window_set_modal(GTK_WINDOW(sheet.window), TRUE);
    gtk_window_set_type_hint(GTK_WINDOW(sheet.window), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_position(GTK_WINDOW(sheet.window), GTK_WIN_POS_CENTER);
    gtk_window_set_resizable(GTK_WINDOW(sheet.window), FALSE);

    GtkWidget *notebook = gtk_notebook_new();
    for (const json &page : protocol::arrayAt(opening, key::pages)) {
        std::optional<protocol::PageKind> kind = read<protocol::PageKind>(page, key::kind);
        if (!kind)
            continue;
        GtkWidget *content = nullptr;
        switch (*kind) {
        case protocol::PageKind::Controls:
            content = controlPage(sheet, page);
            break;
        case protocol::PageKind::Format:
            content = formatPage(sheet, page);
            break;
        }
        gtk_notebook_append_page(GTK_NOTEBOOK(notebook), content,
                                 gtk_label_new(readOr(page, key::title, std::string()).c_str()));
    }
    sheet.status = label("");
    gtk_label_set_line_wrap(GTK_LABEL(sheet.status), TRUE);
    gtk_widget_set_margin_start(sheet.status, 12);

    GtkWidget *buttons = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
    gtk_box_set_spacing(GTK_BOX(buttons), 6);
    GtkWidget *ok = button("_OK", G_CALLBACK(onOk), sheet);
    sheet.apply = button("_Apply", G_CALLBACK(onApply), sheet);
    gtk_container_add(GTK_CONTAINER(buttons), ok);
    gtk_container_add(GTK_CONTAINER(buttons), button("_Cancel", G_CALLBACK(onCancel), sheet));
    gtk_container_add(GTK_CONTAINER(buttons), sheet.apply);
    gtk_widget_set_sensitive(sheet.apply, FALSE);

    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_container_set_border_width(GTK_CONTAINER(box), 8);
    gtk_box_pack_start(GTK_BOX(box), notebook, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), sheet.status, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), buttons, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(sheet.window), box);

    g_signal_connect(sheet.window, "delete-event", G_CALLBACK(onDelete), &sheet);
    g_signal_connect(sheet.window, "map-event", G_CALLBACK(onMapped), &sheet);
    g_signal_connect(sheet.window, "key-press-event", G_CALLBACK(onKey), &sheet);
    g_signal_connect(sheet.window, "destroy-event", G_CALLBACK(onDestroyed), &sheet);
    sheet.watch =
        g_unix_fd_add(STDIN_FILENO, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onPlatform, &sheet);
    gtk_widget_show_all(sheet.window);
    // The first control (or the size) has the keyboard, as on Windows.
    for (const ControlRow &row : sheet.rows) {
        if (gtk_widget_get_sensitive(row.widget)) {
            gtk_widget_grab_focus(row.widget);
            break;
        }
    }
    if (sheet.sizes)
        gtk_widget_grab_focus(sheet.sizes);
    gtk_main();
    if (!sheet.closed)
        close(sheet, protocol::Closed::Cancel);
    if (sheet.watch)
        g_source_remove(sheet.watch);
    // A window destroyed from outside is left as it is: the program ends.
    if (!sheet.gone)
        gtk_widget_destroy(sheet.window);
}

} // namespace dialogs
