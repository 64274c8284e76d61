// Frames on their way from the renderer to the helper's video window: three
// slots in one shared memory file, handed over so that neither side ever
// waits for the other. The platform writes (the delivery thread), the helper
// reads; both include this header, so the layout is written once.
//
// The writer always owns one slot and the reader one; the third is in
// `exchange`, with a bit saying whether it holds a frame the reader has not
// taken. The writer fills its slot and swaps it into the exchange, taking
// the slot that was there; the reader, when the bit is set, swaps its own
// slot in for the newest frame. The newest frame always wins, a slot is
// never written while the reader owns it, and the memory order of the swaps
// (acquire and release) carries the picture with the index.
//
// The writer maps the file of the slots; the reader may be any process, so
// every index it leaves in the exchange is checked before it is used, and
// the file is sealed against resizing (a shrunk file would fault the writer).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace platform::frameslots {

constexpr uint32_t magic = 0x57465651; // "QVFW" in memory
constexpr uint32_t slotCount = 3;
constexpr uint32_t freshBit = 0x80000000u;
// The slots start a page after the file does.
constexpr size_t headerBytes = 4096;

struct Header {
    uint32_t magic;
    uint32_t width; // the pictures: B, G, R rows bottom-up, stride bytes apart
    uint32_t height;
    uint32_t stride;
    uint64_t slotBytes; // stride * height
    std::atomic<uint32_t> exchange;
    // Counts for whoever watches: frames the writer swapped in, frames the
    // reader took and of those the ones it painted. Numbers only, never
    // trusted as anything else.
    std::atomic<uint64_t> published;
    std::atomic<uint64_t> taken;
    std::atomic<uint64_t> painted;
};
static_assert(sizeof(Header) <= headerBytes);
// Atomics that work across processes are the lock-free ones.
static_assert(std::atomic<uint32_t>::is_always_lock_free && std::atomic<uint64_t>::is_always_lock_free);

// The file's size for slots of slotBytes each.
constexpr size_t fileBytes(uint64_t slotBytes) { return headerBytes + slotCount * slotBytes; }

// Slot index of the file mapped at file, slots of slotBytes each: each side
// passes the size it checked, never the one in the header, which the other
// side can write.
inline uint8_t *slotAt(void *file, uint64_t slotBytes, uint32_t index) {
    return static_cast<uint8_t *>(file) + headerBytes + index * slotBytes;
}

// The writer swaps its filled slot mine in; the slot it owns from now, or
// nothing when the reader left an index that is no slot's.
inline std::optional<uint32_t> publish(Header &header, uint32_t mine) {
    uint32_t left = header.exchange.exchange(mine | freshBit, std::memory_order_acq_rel) & ~freshBit;
    if (left >= slotCount)
        return std::nullopt;
    header.published.fetch_add(1, std::memory_order_relaxed);
    return left;
}

// The reader takes the newest frame for its slot mine: the slot holding it,
// mine again when there is no frame it has not taken, or nothing when the
// writer's index is no slot's.
inline std::optional<uint32_t> take(Header &header, uint32_t mine) {
    if (!(header.exchange.load(std::memory_order_acquire) & freshBit))
        return mine;
    uint32_t newest = header.exchange.exchange(mine, std::memory_order_acq_rel) & ~freshBit;
    if (newest >= slotCount)
        return std::nullopt;
    header.taken.fetch_add(1, std::memory_order_relaxed);
    return newest;
}

// Where each side starts: the writer owns slot 0, the exchange holds 1 (no
// frame yet) and the reader 2.
constexpr uint32_t writerFirst = 0;
constexpr uint32_t exchangeFirst = 1;
constexpr uint32_t readerFirst = 2;

} // namespace platform::frameslots
