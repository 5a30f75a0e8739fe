#pragma once
// A history of file-system events, kept by us because Linux keeps none.
//
// The store is one folder, named by the environment variable VIRIRADO_EVENT_STORE (unset or
// empty: there is no store, no device has a UUID and the current event id is 0). It holds:
//
//   uuid-<device>  the device's store UUID: 32 lower-case hex digits and a line feed, where
//                  <device> is the st_dev number in decimal. Created at the first request;
//                  a missing or unreadable file gets a fresh UUID, which callers see as a
//                  reset of that device's history.
//   counter        8 bytes, little-endian u64: the last event id handed out (0: none yet).
//                  Ids are shared by every device and only grow.
//   journal        append-only. An 8-byte header "VRVJRNL1", then one record per event:
//                    u64 id (LE), u32 flags (LE), u32 path length n (LE), n path bytes.
//                  Paths are absolute, without a trailing "/" (except "/" itself), in
//                  whatever bytes the kernel gave. Records appear in id order.
//   lock           taken with flock around every change to counter and journal.
//
// Example: one file event on /home/u/a.txt with id 7 is the 29 bytes
//   07 00 00 00 00 00 00 00 | 00 10 01 00 | 0d 00 00 00 | "/home/u/a.txt" (13 bytes)
// with flags ItemIsFile | ItemModified = 0x11000.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bwplatform {

using FSEventStreamEventId = uint64_t;
using FSEventStreamEventFlags = uint32_t;
using CFUUIDBytes = std::array<uint8_t, 16>;

// Event flags, with the values the event-stream interface has always used.
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagNone = 0x0;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagMustScanSubDirs = 0x1;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagUserDropped = 0x2;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagKernelDropped = 0x4;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagEventIdsWrapped = 0x8;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagHistoryDone = 0x10;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagRootChanged = 0x20;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagMount = 0x40;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagUnmount = 0x80;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemCreated = 0x100;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemRemoved = 0x200;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemInodeMetaMod = 0x400;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemRenamed = 0x800;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemModified = 0x1000;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemIsFile = 0x10000;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemIsDir = 0x20000;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemIsSymlink = 0x40000;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemIsHardlink = 0x100000;

// The store's folder from VIRIRADO_EVENT_STORE; empty when there is no store.
std::string event_store_folder();

// The store UUID of a device, or none when there is no store (or it cannot be prepared).
std::optional<CFUUIDBytes> FSEventsCopyUUIDForDevice(uint64_t dev);

// The last event id handed out by the store; 0 without a store.
FSEventStreamEventId FSEventsGetCurrentEventId();

namespace event_store {

struct Record {
    FSEventStreamEventId id = 0;
    FSEventStreamEventFlags flags = 0;
    std::string path;
};

// Appends events to the store in `folder`, numbering them from its counter; the ids given
// are written back into `events`. Returns 0 or an errno value.
int append(const std::string& folder, std::vector<Record>& events);

// Same, for one event in the store named by the environment. Returns the new id, 0 on failure.
FSEventStreamEventId append_event(std::string_view path, FSEventStreamEventFlags flags);

// Gives a device a fresh UUID, as when its history was lost. Returns 0 or an errno value.
int reset_device(const std::string& folder, uint64_t dev);

// Reads the journal records with since < id <= until. `intact` turns false when the journal
// is damaged past the records returned (they are still good).
std::vector<Record> read(const std::string& folder, FSEventStreamEventId since,
                         FSEventStreamEventId until, bool& intact);

// The store's current event id in `folder` (0 when unreadable).
FSEventStreamEventId current_id(const std::string& folder);

// The store UUID of a device in `folder`, created when missing.
std::optional<CFUUIDBytes> device_uuid(const std::string& folder, uint64_t dev);

}  // namespace event_store

}  // namespace bwplatform
