#include "com/instrumentation.h"
#include "com/class_table.h"
#include "com/process_state.h"
#include "common/locking.h"

#include <quorin_platform/dshow.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace platform {

std::atomic<long> liveObjects{0};
std::atomic<long> taskMemoryBlocks{0};
std::atomic<long> openHandles{0};
std::atomic<long> windowsShown{0};
std::atomic<long> samplesDelivered{0};
std::atomic<long> picturesConverted{0};
std::atomic<long> picturesCopied{0};

namespace {

struct InjectedFailure {
    long atCall; // the call count at which it fires
    HRESULT result;
};

struct Ledger {
    quorin::Mutex lock;
    // Transparent comparison: a name is looked up without building a string.
    std::map<std::string, long, std::less<>> calls GUARDED_BY(lock);
    std::map<std::string, std::vector<InjectedFailure>, std::less<>> failures GUARDED_BY(lock);
    std::map<std::string, long, std::less<>> resourceRequests GUARDED_BY(lock);
    std::map<std::string, std::vector<long>, std::less<>> resourceFailures GUARDED_BY(lock); // the requests that fail
};

Ledger &ledger() { return ProcessState<Ledger>::get(); }

} // namespace

std::optional<HRESULT> enterOperation(const char *operation) {
    Ledger &l = ledger();
    quorin::Lock guard(l.lock);
    std::string_view name(operation);
    auto counted = l.calls.find(name);
    if (counted == l.calls.end())
        counted = l.calls.emplace(std::string(name), 0).first;
    long call = ++counted->second;
    auto found = l.failures.find(name);
    if (found == l.failures.end())
        return std::nullopt;
    std::vector<InjectedFailure> &pending = found->second;
    for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (it->atCall == call) {
            HRESULT result = it->result;
            pending.erase(it);
            return result;
        }
    }
    return std::nullopt;
}

void resetInstrumentation() {
    Ledger &l = ledger();
    quorin::Lock guard(l.lock);
    l.calls.clear();
    l.failures.clear();
    l.resourceRequests.clear();
    l.resourceFailures.clear();
    windowsShown = 0;
    samplesDelivered = 0;
    picturesConverted = 0;
    picturesCopied = 0;
}

std::string interfaceName(REFIID riid) {
    for (size_t i = 0; i < interfaceNameCount; ++i)
        if (IsEqualGUID(*interfaceNames[i].iid, riid))
            return interfaceNames[i].name;
    // An interface nobody named: its identifier, as Windows writes one.
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(riid.Data1), riid.Data2, riid.Data3, riid.Data4[0], riid.Data4[1],
                  riid.Data4[2], riid.Data4[3], riid.Data4[4], riid.Data4[5], riid.Data4[6], riid.Data4[7]);
    return text;
}

void injectResourceFailure(const char *kind, int nth) {
    Ledger &l = ledger();
    quorin::Lock guard(l.lock);
    l.resourceFailures[kind].push_back(l.resourceRequests[kind] + nth);
}

void failResource(const char *kind) {
    bool fails;
    {
        Ledger &l = ledger();
        quorin::Lock guard(l.lock);
        long request = ++l.resourceRequests[kind];
        auto found = l.resourceFailures.find(std::string_view(kind));
        fails = found != l.resourceFailures.end() &&
                std::find(found->second.begin(), found->second.end(), request) != found->second.end();
    }
    if (!fails)
        return;
    if (std::string_view(kind) == "thread")
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    throw std::bad_alloc();
}

void injectFailure(const char *operation, int nth, HRESULT result) {
    Ledger &l = ledger();
    quorin::Lock guard(l.lock);
    long base = l.calls[operation];
    l.failures[operation].push_back({base + nth, result});
}

long callCount(const char *operation) {
    Ledger &l = ledger();
    quorin::Lock guard(l.lock);
    auto found = l.calls.find(std::string_view(operation));
    return found == l.calls.end() ? 0 : found->second;
}

const char *describeFailure(HRESULT hr) {
    return hr == E_OUTOFMEMORY ? "out of memory or threads" : "an unexpected error";
}

} // namespace platform
