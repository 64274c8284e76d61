// The cost of a webcam's MJPEG and YUYV frames through the platform, over the
// fake driver at 30 fps with real JPEG frames (a natural-looking picture,
// 4:2:2, quality 80), against the real limits measured in the same run:
// - nobody takes: CPU per delivered frame (the raw frame's copy out of the
//   driver's buffer, and the delivery);
// - taking one frame a second and taking every frame: the caller's CPU per
//   taken frame, against one TurboJPEG decode of the same frame into reused
//   memory, back to back and paced as the frames are taken (30 a second,
//   one a second: caches as cold as a taken frame finds them);
// - YUYV 1920x1080 taking every frame, against the same conversion alone.
// The process CPU includes the fake driver's own copy of each frame into its
// buffer, which a real driver's DMA does not cost; it leaves out the
// interpreter's byte string and its page faults (bench/getbuffer_bench.py
// measures those). Each figure is the best of ROUNDS rounds of SECONDS, the
// rounds of every figure of a row taken in turn.
//
// usage: v4l2_jpeg_bench [SECONDS per round, default 5] [ROUNDS, default 5]
#include "../tests/platform/fake_v4l2.h"
#include "../tests/platform/jpeg_frames.h"

#include "sources/v4l2/v4l2_conversion.h"

#include "common/com_ref.h"
#include <quorin_platform/control.h>
#include <quorin_platform/dshow.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <thread>

namespace {

double seconds = 5;
int rounds = 5;

double cpuOf(clockid_t clock) {
    timespec t;
    clock_gettime(clock, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}
double cpuNow() { return cpuOf(CLOCK_PROCESS_CPUTIME_ID); }
// This thread's alone: what a take costs the caller, apart from delivery.
double threadCpuNow() { return cpuOf(CLOCK_THREAD_CPUTIME_ID); }

template <class T>
ComRef<T> create(REFCLSID clsid, REFIID iid) {
    T *object = nullptr;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void **>(&object));
    return ComRef<T>(object);
}

// The module's graph over device 0, buffering, stopped.
struct Graph {
    ComRef<IGraphBuilder> graph;
    ComRef<ISampleGrabber> grabber;
    ComRef<IMediaControl> control;

    bool build() {
        graph = create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
        auto builder = create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2);
        auto devices = create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
        ComRef<IEnumMoniker> list;
        ComRef<IMoniker> device;
        ComRef<IBaseFilter> camera;
        if (!graph || !builder || !devices || builder->SetFiltergraph(graph.get()) != S_OK ||
            devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, list.out(), 0) != S_OK ||
            list->Next(1, device.out(), nullptr) != S_OK ||
            device->BindToObject(nullptr, nullptr, IID_IBaseFilter, camera.voidOut()) != S_OK ||
            graph->AddFilter(camera.get(), L"Quorinview") != S_OK)
            return false;
        auto grabberFilter = create<IBaseFilter>(CLSID_SampleGrabber, IID_IBaseFilter);
        AM_MEDIA_TYPE wanted{};
        wanted.majortype = MEDIATYPE_Video;
        wanted.subtype = MEDIASUBTYPE_RGB24;
        wanted.formattype = FORMAT_VideoInfo;
        return grabberFilter && grabberFilter->QueryInterface(IID_ISampleGrabber, grabber.voidOut()) == S_OK &&
               grabber->SetMediaType(&wanted) == S_OK && graph->AddFilter(grabberFilter.get(), L"Grabber") == S_OK &&
               builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, camera.get(), grabberFilter.get(),
                                     nullptr) == S_OK &&
               grabber->SetBufferSamples(TRUE) == S_OK &&
               graph->QueryInterface(IID_IMediaControl, control.voidOut()) == S_OK && control->Run() == S_OK;
    }
};

struct Figures {
    double idle;     // CPU per delivered frame, nobody taking
    double sparse;   // CPU per taken frame beyond delivery, one a second
    double everyOne; // CPU per taken frame beyond delivery, every frame
};

// One round of each figure of device 0 (one size, one format): the graph
// runs for the round and is stopped after it, so that nothing is delivered
// while the references are timed.
Figures measureRound(Graph &g, int width, int height) {
    std::vector<long> buffer((static_cast<size_t>(width) * 3 + 3) / 4 * static_cast<size_t>(height) + 1);
    auto take = [&] {
        long size = static_cast<long>(buffer.size() * sizeof(long));
        return g.grabber->GetCurrentBuffer(&size, buffer.data()) == S_OK;
    };
    g.control->Run();
    while (!take())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Figures f{};
    {
        long delivered = quorin_platform_samples_delivered();
        double cpu = cpuNow();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        f.idle = (cpuNow() - cpu) / std::max(1l, quorin_platform_samples_delivered() - delivered);
    }
    // Taking frames: the caller's CPU per frame taken (the conversion, in
    // GetCurrentBuffer, as getbuffer pays it), each time a new frame has
    // come (one a second, or every one); delivery is the idle figure.
    auto taking = [&](double every) {
        using clock = std::chrono::steady_clock;
        const auto pause =
            std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(std::max(every, 0.030)));
        long taken = 0;
        double spent = 0;
        auto started = clock::now();
        while (clock::now() - started < std::chrono::duration<double>(seconds)) {
            long before = quorin_platform_samples_delivered();
            std::this_thread::sleep_for(pause);
            while (quorin_platform_samples_delivered() == before)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            double cpu = threadCpuNow();
            taken += take();
            spent += threadCpuNow() - cpu;
        }
        return spent / std::max(1l, taken);
    };
    f.sparse = taking(1.0);
    f.everyOne = taking(0);
    g.control->Stop();
    return f;
}

// The CPU of one run of work: back to back, paced as a camera's frames come
// (one every 33 ms), and once a second, when caches (and the core's clock)
// have cooled between runs as they have for a frame taken from a running
// camera at that pace.
struct Reference {
    double backToBack;
    double paced;
    double sparse;
};

// One round of each.
Reference timeRound(const std::function<void()> &work) {
    Reference r;
    {
        int count = 0;
        double cpu = cpuNow();
        while (cpuNow() - cpu < seconds / 5 || count < 3) {
            work();
            ++count;
        }
        r.backToBack = (cpuNow() - cpu) / count;
    }
    {
        int count = 0;
        double cpu = cpuNow();
        for (auto started = std::chrono::steady_clock::now();
             std::chrono::steady_clock::now() - started < std::chrono::duration<double>(seconds / 2); ++count) {
            work();
            std::this_thread::sleep_for(std::chrono::microseconds(33333));
        }
        r.paced = (cpuNow() - cpu) / std::max(1, count);
    }
    {
        int count = 0;
        double spent = 0;
        for (auto started = std::chrono::steady_clock::now();
             std::chrono::steady_clock::now() - started < std::chrono::duration<double>(seconds); ++count) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            double cpu = cpuNow();
            work();
            spent += cpuNow() - cpu;
        }
        r.sparse = spent / std::max(1, count);
    }
    return r;
}

struct Row {
    Figures taken{1e9, 1e9, 1e9};
    Reference library{1e9, 1e9, 1e9};
    Reference ours{1e9, 1e9, 1e9};
};

void keepLeast(Figures &least, const Figures &f) {
    least = {std::min(least.idle, f.idle), std::min(least.sparse, f.sparse), std::min(least.everyOne, f.everyOne)};
}

void keepLeast(Reference &least, const Reference &r) {
    least = {std::min(least.backToBack, r.backToBack), std::min(least.paced, r.paced),
             std::min(least.sparse, r.sparse)};
}

// The best of ROUNDS rounds of each figure of device 0 and of the two
// conversions alone (the library's, and the platform's where it differs).
// A round of each in turn, so that a slow spell of the shared machine falls
// on all of them rather than on one.
Row measureRow(int width, int height, const std::function<void()> &library, const std::function<void()> &ours) {
    Graph g;
    if (!g.build()) {
        std::fprintf(stderr, "the graph could not be built\n");
        std::exit(1);
    }
    Row row;
    for (int round = 0; round < rounds; ++round) {
        keepLeast(row.taken, measureRound(g, width, height));
        keepLeast(row.library, timeRound(library));
        if (ours)
            keepLeast(row.ours, timeRound(ours));
    }
    if (!ours)
        row.ours = row.library;
    return row;
}

platform::VideoFormat outputOf(int width, int height) {
    platform::VideoFormat output;
    output.width = width;
    output.height = height;
    return output;
}

void print(int width, int height, const char *form, const Row &r, const char *name) {
    const Figures &f = r.taken;
    const Reference &library = r.library, &ours = r.ours;
    std::printf("%-10s %-5s %6.3f %6.2f %6.2f   %-9s %5.2f %5.2f %5.2f %6.2f %6.2f   %5.2f %5.2f %5.2f\n",
                (std::to_string(width) + "x" + std::to_string(height)).c_str(), form, f.idle * 1e3, f.sparse * 1e3,
                f.everyOne * 1e3, name, library.backToBack * 1e3, library.paced * 1e3, library.sparse * 1e3,
                ours.backToBack * 1e3, ours.paced * 1e3, f.everyOne / library.backToBack, f.everyOne / library.paced,
                f.sparse / library.sparse);
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1)
        seconds = std::atof(argv[1]);
    if (argc > 2)
        rounds = std::atoi(argv[2]);
    CoInitialize(nullptr);
    FakeV4l2 fake;
    platform::useV4l2Io(&fake);
    quorin_platform_use_system_devices(1);
    fake.frameInterval = std::chrono::microseconds(33333);
    std::printf("30 fps over the fake driver, best of %d rounds of %.0f s; CPU per frame in ms\n", rounds, seconds);
    std::printf("idle: per delivered frame, nobody taking; taken: the caller's per frame taken, taking one a\n"
                "second (1/s) or every frame (all); library: its conversion alone into reused memory (TurboJPEG's\n"
                "decode, libyuv's conversion), back to back, paced at 30 a second and once a second; ours: the\n"
                "platform's conversion alone, back to back and paced at 30 a second; ratios: every frame taken\n"
                "to the library's back to back and paced at 30 a second, one a second to once a second\n");
    std::printf("%-10s %-5s %6s %6s %6s   %-9s %5s %5s %5s %6s %6s   %5s %5s %5s\n", "size", "form", "idle", "1/s",
                "all", "library", "b2b", "30/s", "1/s", "ours", "30/s", "all", "30/s", "1/s");
    for (auto [width, height] : {std::pair<int, int>{1280, 720}, {1920, 1080}}) {
        const std::vector<uint8_t> jpeg = encodeJpeg(naturalPicture(width, height), width, height, 80, false);
        FakeFormat format{V4L2_PIX_FMT_MJPEG, {{static_cast<uint32_t>(width), static_cast<uint32_t>(height)}}, {}};
        fake.devices = {{"/dev/video0", "Webcam", true, {format}, {}}};
        fake.fixedPayload = &jpeg;
        std::vector<uint8_t> decoded(static_cast<size_t>(width) * 3 * height);
        tjhandle decoder = tjInitDecompress();
        v4l2_format device{};
        device.fmt.pix.width = static_cast<uint32_t>(width);
        device.fmt.pix.height = static_cast<uint32_t>(height);
        device.fmt.pix.pixelformat = V4L2_PIX_FMT_MJPEG;
        platform::PictureConversion conversion(device, outputOf(width, height), nullptr);
        Row r = measureRow(
            width, height,
            [&] {
                tjDecompress2(decoder, jpeg.data(), jpeg.size(), decoded.data(), width, width * 3, height, TJPF_BGR, 0);
            },
            [&] { conversion.convert(jpeg.data(), jpeg.size(), decoded.data()); });
        tjDestroy(decoder);
        print(width, height, "MJPG", r, "TurboJPEG");
        std::printf("           (%zu KB a frame)\n", jpeg.size() / 1024);
    }
    // YUYV at 1920x1080, as a camera streams it at 5 fps (paced at 30 here).
    const int width = 1920, height = 1080;
    FakeFormat format{V4L2_PIX_FMT_YUYV, {{width, height}}, {}};
    fake.devices = {{"/dev/video0", "Webcam", true, {format}, {}}};
    std::vector<uint8_t> yuyv(static_cast<size_t>(width) * 2 * height);
    for (size_t i = 0; i < yuyv.size(); ++i)
        yuyv[i] = static_cast<uint8_t>(i % 2 ? 96 + (i / 7919) % 64 : 16 + (i / 3) % 219);
    fake.fixedPayload = &yuyv;
    v4l2_format device{};
    device.fmt.pix = {width, height, V4L2_PIX_FMT_YUYV, V4L2_FIELD_NONE, width * 2, width * 2 * height};
    platform::PictureConversion conversion(device, outputOf(width, height), nullptr);
    std::vector<uint8_t> converted(outputOf(width, height).imageSize());
    Row r = measureRow(
        width, height, [&] { conversion.convert(yuyv.data(), yuyv.size(), converted.data()); }, nullptr);
    print(width, height, "YUYV", r, "libyuv");
    platform::useV4l2Io(nullptr);
    CoUninitialize();
    return 0;
}
