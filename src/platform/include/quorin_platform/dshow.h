// DirectShow interfaces, records and identifiers for systems without Windows.
//
// Signatures follow the Windows SDK (strmif.h, control.h, qedit.h, ocidl.h);
// each interface declares the subset of its methods that this platform
// implements, in the SDK's order.
#pragma once

#include <quorin_platform/com.h>

typedef LONGLONG REFERENCE_TIME;
typedef long OAFilterState;

#define OATRUE (-1)
#define OAFALSE (0)

#define VFW_E_INVALIDMEDIATYPE ((HRESULT)0x80040200u)
#define VFW_E_ALREADY_CONNECTED ((HRESULT)0x80040204u)
#define VFW_E_NO_ACCEPTABLE_TYPES ((HRESULT)0x80040207u)
#define VFW_E_NOT_CONNECTED ((HRESULT)0x80040209u)
#define VFW_E_CANNOT_CONNECT ((HRESULT)0x80040217u)
#define VFW_E_NOT_STOPPED ((HRESULT)0x80040224u)
#define VFW_E_NOT_RUNNING ((HRESULT)0x80040226u)
#define VFW_E_WRONG_STATE ((HRESULT)0x80040227u)
#define VFW_E_TYPE_NOT_ACCEPTED ((HRESULT)0x8004022Au)
#define VFW_E_NOT_FOUND ((HRESULT)0x80040216u)
#define VFW_E_NOT_IN_GRAPH ((HRESULT)0x8004025Fu)

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
#define BI_RGB 0L

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};

struct VIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    DWORD dwInterlaceFlags;
    DWORD dwCopyProtectFlags;
    DWORD dwPictAspectRatioX;
    DWORD dwPictAspectRatioY;
    union {
        DWORD dwControlFlags;
        DWORD dwReserved1;
    };
    DWORD dwReserved2;
    BITMAPINFOHEADER bmiHeader;
};

struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown *pUnk;
    ULONG cbFormat;
    BYTE *pbFormat;
};

struct SIZE {
    LONG cx;
    LONG cy;
};

// What a capture pin's capability offers: only the sizes are filled in here
// (a pin of this platform offers each of its sizes as one capability).
struct VIDEO_STREAM_CONFIG_CAPS {
    GUID guid;
    ULONG VideoStandard;
    SIZE InputSize;
    SIZE MinCroppingSize;
    SIZE MaxCroppingSize;
    int CropGranularityX;
    int CropGranularityY;
    int CropAlignX;
    int CropAlignY;
    SIZE MinOutputSize;
    SIZE MaxOutputSize;
    int OutputGranularityX;
    int OutputGranularityY;
    int StretchTapsX;
    int StretchTapsY;
    int ShrinkTapsX;
    int ShrinkTapsY;
    LONGLONG MinFrameInterval;
    LONGLONG MaxFrameInterval;
    LONG MinBitsPerSecond;
    LONG MaxBitsPerSecond;
};

enum VideoProcAmpProperty {
    VideoProcAmp_Brightness = 0,
    VideoProcAmp_Contrast = 1,
    VideoProcAmp_Hue = 2,
    VideoProcAmp_Saturation = 3,
    VideoProcAmp_Sharpness = 4,
    VideoProcAmp_Gamma = 5,
    VideoProcAmp_ColorEnable = 6,
    VideoProcAmp_WhiteBalance = 7,
    VideoProcAmp_BacklightCompensation = 8,
    VideoProcAmp_Gain = 9
};
enum VideoProcAmpFlags { VideoProcAmp_Flags_Auto = 0x0001, VideoProcAmp_Flags_Manual = 0x0002 };

enum CameraControlProperty {
    CameraControl_Pan = 0,
    CameraControl_Tilt = 1,
    CameraControl_Roll = 2,
    CameraControl_Zoom = 3,
    CameraControl_Exposure = 4,
    CameraControl_Iris = 5,
    CameraControl_Focus = 6
};
enum CameraControlFlags { CameraControl_Flags_Auto = 0x0001, CameraControl_Flags_Manual = 0x0002 };

// A property the device does not offer, as kernel-streaming drivers say it.
#define E_PROP_ID_UNSUPPORTED ((HRESULT)0x80070490u)

struct CAUUID {
    ULONG cElems;
    GUID *pElems;
};

enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };

struct IBaseFilter;
struct IFilterGraph;
struct IMoniker;

struct FILTER_INFO {
    WCHAR achName[128];
    IFilterGraph *pGraph;
};

struct IPersist : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID *pClassID) = 0;

protected:
    ~IPersist() = default;
};

struct IMediaFilter : public IPersist {
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME tStart) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(DWORD dwMilliSecsTimeout, FILTER_STATE *State) = 0;

protected:
    ~IMediaFilter() = default;
};

struct IBaseFilter : public IMediaFilter {
    virtual HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO *pInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName) = 0;

protected:
    ~IBaseFilter() = default;
};

struct IFilterGraph : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter *pFilter, LPCWSTR pName) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter *pFilter) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR pName, IBaseFilter **ppFilter) = 0;

protected:
    ~IFilterGraph() = default;
};

struct IGraphBuilder : public IFilterGraph {
protected:
    ~IGraphBuilder() = default;
};

struct IMediaControl : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Run() = 0;
    virtual HRESULT STDMETHODCALLTYPE Pause() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetState(LONG msTimeout, OAFilterState *pfs) = 0;

protected:
    ~IMediaControl() = default;
};

// Event codes a graph's event queue carries (evcode.h). EC_DEVICE_LOST's
// first parameter is the filter whose device went (a counted IUnknown that
// FreeEventParams releases), its second 0 for gone and 1 for back.
#define EC_DEVICE_LOST 0x1F

typedef LONG_PTR OAEVENT;

struct IMediaEvent : public IDispatch {
    // An event (a HANDLE) that is set while the queue holds an event; the
    // graph's own, not to be closed.
    virtual HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT *hEvent) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEvent(long *lEventCode, LONG_PTR *lParam1, LONG_PTR *lParam2,
                                               long msTimeout) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeEventParams(long lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) = 0;

protected:
    ~IMediaEvent() = default;
};

struct IMediaEventEx : public IMediaEvent {
protected:
    ~IMediaEventEx() = default;
};

struct IVideoWindow : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_Visible(long Visible) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Visible(long *pVisible) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_AutoShow(long AutoShow) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_AutoShow(long *AutoShow) = 0;

protected:
    ~IVideoWindow() = default;
};

struct ICaptureGraphBuilder2 : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFiltergraph(IGraphBuilder *pfg) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFiltergraph(IGraphBuilder **ppfg) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindInterface(const GUID *pCategory, const GUID *pType, IBaseFilter *pf,
                                                    REFIID riid, void **ppint) = 0;
    virtual HRESULT STDMETHODCALLTYPE RenderStream(const GUID *pCategory, const GUID *pType, IUnknown *pSource,
                                                   IBaseFilter *pfCompressor, IBaseFilter *pfRenderer) = 0;

protected:
    ~ICaptureGraphBuilder2() = default;
};

struct IEnumMoniker : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, IMoniker **rgelt, ULONG *pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumMoniker **ppenum) = 0;

protected:
    ~IEnumMoniker() = default;
};

struct IMoniker : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx *pbc, IMoniker *pmkToLeft, REFIID riidResult,
                                                   void **ppvResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx *pbc, IMoniker *pmkToLeft, REFIID riid, void **ppvObj) = 0;

protected:
    ~IMoniker() = default;
};

struct ICreateDevEnum : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID clsidDeviceClass, IEnumMoniker **ppEnumMoniker,
                                                            DWORD dwFlags) = 0;

protected:
    ~ICreateDevEnum() = default;
};

struct IPropertyBag : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Read(LPCOLESTR pszPropName, VARIANT *pVar, IErrorLog *pErrorLog) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(LPCOLESTR pszPropName, VARIANT *pVar) = 0;

protected:
    ~IPropertyBag() = default;
};

// A sample as DirectShow hands it over; the platform has none to give.
struct IMediaSample;

// Called by the sample grabber on the thread that delivers each sample.
// The platform calls SampleCB only, and with no sample: a callback learns
// that one arrived, and takes it with GetCurrentBuffer.
struct ISampleGrabberCB : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SampleCB(double SampleTime, IMediaSample *pSample) = 0;
    virtual HRESULT STDMETHODCALLTYPE BufferCB(double SampleTime, BYTE *pBuffer, LONG BufferLen) = 0;

protected:
    ~ISampleGrabberCB() = default;
};

struct ISampleGrabber : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetOneShot(BOOL OneShot) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMediaType(const AM_MEDIA_TYPE *pType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetConnectedMediaType(AM_MEDIA_TYPE *pType) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetBufferSamples(BOOL BufferThem) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentBuffer(long *pBufferSize, long *pBuffer) = 0;
    // E_NOTIMPL: the platform has no IMediaSample.
    virtual HRESULT STDMETHODCALLTYPE GetCurrentSample(IMediaSample **ppSample) = 0;
    // WhichMethodToCallback 0 (SampleCB); 1 (BufferCB) is E_NOTIMPL, since
    // the grabber converts only what a caller takes. A null callback ends
    // the calls; the grabber holds a reference to the callback meanwhile.
    virtual HRESULT STDMETHODCALLTYPE SetCallback(ISampleGrabberCB *pCallback, long WhichMethodToCallback) = 0;

protected:
    ~ISampleGrabber() = default;
};

struct IAMStreamConfig : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE *pmt) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE **ppmt) = 0;
    // piSize is sizeof(VIDEO_STREAM_CONFIG_CAPS), the record GetStreamCaps fills.
    virtual HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int *piCount, int *piSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamCaps(int iIndex, AM_MEDIA_TYPE **ppmt, BYTE *pSCC) = 0;

protected:
    ~IAMStreamConfig() = default;
};

// The picture settings of a capture filter, in the units Windows' UVC
// driver gives them; Property is a VideoProcAmpProperty, the flags are
// VideoProcAmpFlags.
struct IAMVideoProcAmp : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetRange(long Property, long *pMin, long *pMax, long *pSteppingDelta,
                                               long *pDefault, long *pCapsFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Set(long Property, long lValue, long Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Get(long Property, long *lValue, long *Flags) = 0;

protected:
    ~IAMVideoProcAmp() = default;
};

// The camera's own settings (exposure in log2 seconds, pan and tilt in
// degrees, ...); Property is a CameraControlProperty.
struct IAMCameraControl : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetRange(long Property, long *pMin, long *pMax, long *pSteppingDelta,
                                               long *pDefault, long *pCapsFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Set(long Property, long lValue, long Flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Get(long Property, long *lValue, long *Flags) = 0;

protected:
    ~IAMCameraControl() = default;
};

struct ISpecifyPropertyPages : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPages(CAUUID *pPages) = 0;

protected:
    ~ISpecifyPropertyPages() = default;
};

extern "C" {
extern const IID IID_IPersist;
extern const IID IID_IMediaFilter;
extern const IID IID_IBaseFilter;
extern const IID IID_IFilterGraph;
extern const IID IID_IGraphBuilder;
extern const IID IID_IMediaControl;
extern const IID IID_IMediaEvent;
extern const IID IID_IMediaEventEx;
extern const IID IID_IVideoWindow;
extern const IID IID_ICaptureGraphBuilder2;
extern const IID IID_IEnumMoniker;
extern const IID IID_IMoniker;
extern const IID IID_ICreateDevEnum;
extern const IID IID_IPropertyBag;
extern const IID IID_ISampleGrabber;
extern const IID IID_ISampleGrabberCB;
extern const IID IID_IAMStreamConfig;
extern const IID IID_ISpecifyPropertyPages;
extern const IID IID_IAMVideoProcAmp;
extern const IID IID_IAMCameraControl;

extern const CLSID CLSID_FilterGraph;
extern const CLSID CLSID_CaptureGraphBuilder2;
extern const CLSID CLSID_SystemDeviceEnum;
extern const CLSID CLSID_VideoInputDeviceCategory;
extern const CLSID CLSID_SampleGrabber;
extern const CLSID CLSID_VideoRenderer;
extern const CLSID CLSID_PlatformCaptureFilter;

extern const GUID PIN_CATEGORY_CAPTURE;
extern const GUID MEDIATYPE_Video;
extern const GUID MEDIATYPE_Interleaved;
extern const GUID MEDIASUBTYPE_RGB24;
extern const GUID FORMAT_VideoInfo;
extern const GUID FORMAT_VideoInfo2;
}
