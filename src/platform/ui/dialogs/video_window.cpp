#include "ui/dialogs/video_window.h"

#include "ui/dialog_protocol.h"
#include "ui/frame_slots.h"

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <libyuv/convert_argb.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dialogs {

namespace {

namespace protocol = platform::protocol;
namespace frameslots = platform::frameslots;
namespace key = protocol::key;

constexpr int slotsFd = 3;
constexpr int noticesFd = 4;
// No camera's picture is larger on a side.
constexpr uint32_t largestSide = 16384;

struct Video {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t stride = 0;
    uint64_t slotBytes = 0;
    size_t fileBytes = 0;
    void *file = nullptr;
    frameslots::Header *header = nullptr;
    uint32_t reading = frameslots::readerFirst;
    cairo_surface_t *picture = nullptr; // the newest frame taken, as the display wants it
    bool unpainted = false;             // taken since the last painting
    bool closedByUser = false;
    GtkWidget *area = nullptr;
};

// Maps the slots when they are what the platform said: the size it named,
// the file large enough for it.
bool mapSlots(Video &video, const json &opening) {
    auto width = protocol::read<uint32_t>(opening, key::width);
    auto height = protocol::read<uint32_t>(opening, key::height);
    auto stride = protocol::read<uint32_t>(opening, key::stride);
    if (!width || !height || !stride || *width == 0 || *height == 0 || *width > largestSide || *height > largestSide ||
        *stride != ((*width * 3 + 3) & ~3u))
        return false;
    video.width = *width;
    video.height = *height;
    video.stride = *stride;
    video.slotBytes = static_cast<uint64_t>(*stride) * *height;
    video.fileBytes = frameslots::fileBytes(video.slotBytes);
    struct stat file {};
    if (fstat(slotsFd, &file) != 0 || file.st_size < 0 || static_cast<size_t>(file.st_size) < video.fileBytes)
        return false;
    void *mapped = mmap(nullptr, video.fileBytes, PROT_READ | PROT_WRITE, MAP_SHARED, slotsFd, 0);
    if (mapped == MAP_FAILED)
        return false;
    video.file = mapped;
    video.header = static_cast<frameslots::Header *>(mapped);
    const frameslots::Header &h = *video.header;
    return h.magic == frameslots::magic && h.width == video.width && h.height == video.height &&
           h.stride == video.stride && h.slotBytes == video.slotBytes;
}

// A frame was swapped in: takes the newest, turned upright and into the
// display's pixels, and asks for it to be painted.
gboolean onNotice(gint fd, GIOCondition condition, gpointer data) {
    auto &video = *static_cast<Video *>(data);
    char notices[4096]; // every notice so far, at once
    if ((condition & (G_IO_HUP | G_IO_ERR)) || read(fd, notices, sizeof notices) < 0) {
        if (errno == EAGAIN)
            return G_SOURCE_CONTINUE;
        gtk_main_quit();
        return G_SOURCE_REMOVE;
    }
    std::optional<uint32_t> newest = frameslots::take(*video.header, video.reading);
    if (!newest) {
        std::fprintf(stderr, "quorin-dialogs: the platform left a slot that is no slot of its frames\n");
        gtk_main_quit();
        return G_SOURCE_REMOVE;
    }
    if (*newest == video.reading)
        return G_SOURCE_CONTINUE; // nothing new: this notice's frame was taken with the last
    video.reading = *newest;
    cairo_surface_flush(video.picture);
    // A negative height reads the rows bottom-up: the picture comes upright.
    libyuv::RGB24ToARGB(frameslots::slotAt(video.file, video.slotBytes, video.reading), static_cast<int>(video.stride),
                        cairo_image_surface_get_data(video.picture), cairo_image_surface_get_stride(video.picture),
                        static_cast<int>(video.width), -static_cast<int>(video.height));
    cairo_surface_mark_dirty(video.picture);
    video.unpainted = true;
    gtk_widget_queue_draw(video.area);
    return G_SOURCE_CONTINUE;
}

// Paints the picture as large as the window allows with its aspect kept,
// centred on black.
gboolean onDraw(GtkWidget *area, cairo_t *cr, gpointer data) {
    auto &video = *static_cast<Video *>(data);
    const double width = gtk_widget_get_allocated_width(area);
    const double height = gtk_widget_get_allocated_height(area);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    const double scale = std::min(width / video.width, height / video.height);
    cairo_translate(cr, std::floor((width - video.width * scale) / 2), std::floor((height - video.height * scale) / 2));
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, video.picture, 0, 0);
    if (scale != 1.0)
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
    cairo_rectangle(cr, 0, 0, video.width, video.height);
    cairo_fill(cr);
    if (video.unpainted) {
        video.unpainted = false;
        video.header->painted.fetch_add(1, std::memory_order_relaxed);
    }
    return TRUE;
}

void onMapped(GtkWidget *, gpointer) { send({{key::shown, true}}); }

// Closed by its user (the window manager's close) or destroyed from outside.
gboolean onClosed(GtkWidget *, GdkEvent *, gpointer data) {
    static_cast<Video *>(data)->closedByUser = true;
    gtk_main_quit();
    return TRUE;
}

// The platform never speaks after the opening: input or a hang-up means it
// wants the window gone.
gboolean onPlatform(gint, GIOCondition, gpointer) {
    gtk_main_quit();
    return G_SOURCE_REMOVE;
}

} // namespace

bool runVideoWindow(const json &opening) {
    Video video;
    if (!mapSlots(video, opening)) {
        std::fprintf(stderr, "quorin-dialogs: the video window's frames are not where the platform said\n");
        return false;
    }
    video.picture =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(video.width), static_cast<int>(video.height));
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), protocol::readOr(opening, key::caption, std::string()).c_str());
    gtk_window_set_default_size(GTK_WINDOW(window), static_cast<int>(video.width), static_cast<int>(video.height));
    video.area = gtk_drawing_area_new();
    gtk_container_add(GTK_CONTAINER(window), video.area);
    g_signal_connect(video.area, "draw", G_CALLBACK(onDraw), &video);
    g_signal_connect(window, "map", G_CALLBACK(onMapped), nullptr);
    g_signal_connect(window, "delete-event", G_CALLBACK(onClosed), &video);
    g_signal_connect(window, "destroy-event", G_CALLBACK(onClosed), &video);
    g_unix_fd_add(STDIN_FILENO, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onPlatform, nullptr);
    g_unix_fd_add(noticesFd, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onNotice, &video);
    gtk_widget_show_all(window);
    gtk_main();
    if (video.closedByUser)
        send({{key::close, protocol::nameOf(protocol::Closed::Ok)}});
    // The program ends here: the window and the mapping go with it.
    return true;
}

} // namespace dialogs
