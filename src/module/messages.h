// Every message the module raises, word for word. docs/reference.md lists
// each with when it is raised, and a test holds the two together: a message
// changed or added here is changed or added there.
#pragma once

namespace message {

constexpr const char bufferNotBuffering[] =
    "Getting the sample grabber's current buffer failed (Samples are not being buffered).";
constexpr const char bufferNotConnected[] =
    "Getting the sample grabber's current buffer failed (The filter is not connected).";
constexpr const char bufferNullPointer[] =
    "Getting the sample grabber's current buffer failed (NULL pointer argument).";
constexpr const char bufferOverreported[] = "The sample grabber reported more bytes than the frame holds.";
constexpr const char bufferUnknownFailure[] = "UNKNOWN CASE!!";
constexpr const char bufferingNotSet[] = "Setting up buffering of samples failed.";
constexpr const char builderGraphNotSet[] = "Setting the filter graph for the capture graph builder failed.";
constexpr const char builderNotCreated[] = "Creation of the capture graph builder failed.";
constexpr const char captureFilterNotAdded[] =
    "Adding the capture filter to the filter graph failed.\nDevice maybe not connected or already in use.";
constexpr const char comNotInitialized[] = "Initialization of COM failed.";
constexpr const char controlOutOfRange[] = "The value is outside the control's range.";
constexpr const char controlRefused[] = "The device refused the control's setting.";
constexpr const char controlUnknown[] = "The device has no control of that name.";
constexpr const char controlWithoutAuto[] = "The control has no automatic mode.";
constexpr const char connectedTypeUnknown[] = "Getting the sample grabber's connected media type failed.";
constexpr const char deprecatedPagesNotFound[] = "Querying the filter for its property pages failed.";
constexpr const char deviceDisconnected[] = "The capture device was disconnected.";
constexpr const char deviceOfParent[] =
    "The device belongs to the process this one was forked from: open it again with new_Dev().";
constexpr const char displayNameUnreadable[] = "Unable to obtain display name.";
constexpr const char enumeratorNotCreated[] = "Creation of the enumerator for video capture devices failed.";
constexpr const char exitNotRegistered[] = "Registering CoUninitialize at exit failed.";
constexpr const char filterNameUnknown[] = "Querying the capture filter for its name failed.";
constexpr const char filterPagesNotFound[] = "Querying the capture filter for its property pages failed.";
constexpr const char filterUnknownNotFound[] = "Querying the capture filter for its IUnknown interface failed.";
constexpr const char formatNotQueried[] = "Cannot query capture format.";
constexpr const char grabberInterfaceNotFound[] = "Sample grabber interface could not be found.";
constexpr const char grabberNotAdded[] = "Adding the sample grabber to the filter graph failed.";
constexpr const char grabberNotCreated[] = "Creation of the sample grabber failed.";
constexpr const char grabberTypeNotSet[] = "Setting the media type of the sample grabber failed.";
constexpr const char graphNotCreated[] = "Creation of the filter graph failed.";
constexpr const char graphNotRendered[] = "Capture Graph could not be created.";
constexpr const char graphNotStopped[] = "Stopping the capture graph failed.";
constexpr const char mediaControlNotFound[] = "Media control interface could not be found.";
constexpr const char monikerNotBound[] = "Binding the moniker to a filter object failed.";
constexpr const char noCaptureGraph[] = "The device has no capture graph: open it again with new_Dev().";
constexpr const char noDeviceProperties[] = "No device properties available.";
constexpr const char noFrameInTime[] = "No frame arrived from the device within 10 seconds.";
constexpr const char noSuchDevice[] = "The device with the specified device number does not exist.";
constexpr const char oneShotNotCleared[] = "Setting up non-one-shot mode of the sample grabber failed.";
constexpr const char pinPagesNotFound[] = "Querying the capture pin for its property pages failed.";
constexpr const char propertyBagNotFetched[] = "Fetching the moniker property bag failed.";
constexpr const char rebuildAfterResolutionFailed[] = "Problem after setting the capture resolution.";
constexpr const char resolutionNotSet[] = "Setting the capture resolution failed.";
constexpr const char resolutionRefused[] = "Cannot set capture resolution.";
constexpr const char sizesNotQueried[] = "Querying the capture pin for its sizes failed.";
constexpr const char systemEnumeratorNotCreated[] = "Creation of the system device enumerator failed.";
constexpr const char videoWindowNotFound[] = "Video Window interface could not be found.";
constexpr const char videoWindowNotHidden[] = "Video Window hiding failed.";

} // namespace message
