// The state of one open capture device and the lifecycle of its capture
// graph. Each reference field owns one reference or is null.
#pragma once

#include "common/com_ref.h"
#include "graph/platform.h"

struct DeviceRecord {
    IGraphBuilder *filterGraph;
    ICaptureGraphBuilder2 *captureBuilder;
    IBaseFilter *captureFilter; // survives releaseGraph: it carries the device's settings
    ISampleGrabber *sampleGrabber;
    IMediaControl *mediaControl;
    int deviceNumber;
    int showVideoWindow;
    IPropertyBag *propertyBag;
    // Set when the graph's events say the device went; a built graph starts
    // without it, and nothing else clears it.
    bool deviceLost;
    // The process that opened the device. A child made by fork() inherits
    // the references but none of the threads and streams behind them: it
    // may neither use them nor release them.
    unsigned long ownerProcess;
};

// Builds the graph for record->deviceNumber, stopped: null, or the failing
// step's message with the record left empty. Calls no Python: it runs
// without the interpreter's lock.
const char *buildGraph(DeviceRecord *record);
// Stops the graph if there is one and releases every reference.
void releaseAll(DeviceRecord *record);
// The same, but keeps captureFilter for the next build.
void releaseGraph(DeviceRecord *record);
// releaseGraph, then buildGraph.
const char *rebuildGraph(DeviceRecord *record);

// The video capture devices, in device-number order: null with monikers
// set, or the failing step's message. An empty category is no failure:
// monikers is then left null.
const char *openDeviceMonikers(ComRef<IEnumMoniker> &monikers);

// True when the record holds a built graph of this process; otherwise raises
// moduleError (an object made by calling the type, left empty by a failed
// rebuild, or inherited through fork()).
bool requireGraph(const DeviceRecord *record);
// Whether the record's references belong to another process (fork()).
bool inheritedFromParent(const DeviceRecord *record);
