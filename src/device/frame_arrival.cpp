#include "device/frame_arrival.h"

#include <new>

FrameArrival *FrameArrival::create() {
    HANDLE arrived = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!arrived)
        return nullptr;
    FrameArrival *made = new (std::nothrow) FrameArrival(arrived);
    if (!made)
        CloseHandle(arrived);
    return made;
}

FrameArrival::~FrameArrival() { CloseHandle(arrived_); }

HRESULT FrameArrival::QueryInterface(REFIID riid, void **ppvObject) {
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_ISampleGrabberCB))
        return E_NOINTERFACE;
    *ppvObject = static_cast<ISampleGrabberCB *>(this);
    AddRef();
    return S_OK;
}

ULONG FrameArrival::AddRef() { return ++references_; }

ULONG FrameArrival::Release() {
    ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT FrameArrival::SampleCB(double, IMediaSample *) {
    SetEvent(arrived_);
    return S_OK;
}

HRESULT FrameArrival::BufferCB(double, BYTE *, LONG) {
    SetEvent(arrived_);
    return S_OK;
}
