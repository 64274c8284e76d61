// The platform services that the module calls: COM, DirectShow, OLE
// Automation, the user interface and the runtime. Every line that differs
// between Windows and other systems stays in this header.
#pragma once

#include <cstring>

#ifdef _WIN32
#include <windows.h>
#include <dshow.h>
#include <dvdmedia.h> // VIDEOINFOHEADER2
#include <ocidl.h>
#include <olectl.h>

// The sample grabber. MinGW-w64 still declares its interface in qedit.h and
// defines its class identifier in its uuid library without declaring it; the
// Microsoft SDK dropped both, so there they are declared here.
#if __has_include(<qedit.h>) && !defined(QUORIN_OWN_SAMPLE_GRABBER)
#include <qedit.h>
extern "C" const CLSID CLSID_SampleGrabber;
#else
// The SDK's interface macro reads to the formatter as a type:
// clang-format off
MIDL_INTERFACE("0579154A-2B53-4994-B0D0-E773148EFF85")
ISampleGrabberCB : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SampleCB(double SampleTime, IMediaSample *pSample) = 0;
    virtual HRESULT STDMETHODCALLTYPE BufferCB(double SampleTime, BYTE *pBuffer, LONG BufferLen) = 0;
};

MIDL_INTERFACE("6B652FFF-11FE-4fce-92AD-0266B5D7C78F")
ISampleGrabber : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetOneShot(BOOL OneShot) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE *pType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE *pType) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL BufferThem) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentBuffer(long *pBufferSize, long *pBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample **ppSample) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB *pCallback, long WhichMethodToCallback) = 0;
};
// clang-format on

static const IID IID_ISampleGrabber = {0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};
static const IID IID_ISampleGrabberCB = {0x0579154A, 0x2B53, 0x4994, {0xB0, 0xD0, 0xE7, 0x73, 0x14, 0x8E, 0xFF, 0x85}};
static const CLSID CLSID_SampleGrabber = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
#endif

#else
#include <quorin_platform/com.h>
#include <quorin_platform/diagnostics.h>
#include <quorin_platform/dshow.h>
#include <quorin_platform/environment.h>
#include <quorin_platform/user.h>

#include <unistd.h>
#endif

// The lines the platform says, routed to Python's logging (Windows's
// DirectShow says none).
#ifndef _WIN32
inline void routePlatformDiagnostics(void (*sink)(const char *line, void *context)) {
    quorin_platform_set_diagnostic_sink(sink, nullptr);
}
#endif

// Hands the platform the environment as it is now: called with the
// interpreter's lock held, where no os.environ change can run, before the
// platform reads it without that lock (Windows's DirectShow reads none).
inline void lendEnvironment() {
#ifndef _WIN32
    quorin_platform_take_environment();
#endif
}

// The process that runs this code: a device belongs to the one that opened
// it (a child made by fork() shares none of its threads).
inline unsigned long currentProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}
