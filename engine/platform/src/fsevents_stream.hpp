#pragma once
// Event streams over the store (fsevents_store.hpp): the journal's history after a given id
// for a list of paths, a history-done event, then live events seen with inotify.
//
// A started stream owns one reader thread. It first replays the journal records with
// since < id <= the current id at start whose path is one of the stream's paths or lies
// below one ("/" covers every absolute path; records flagged EventIdsWrapped go to every
// stream), in batches, then one event flagged HistoryDone. Meanwhile it watches the folders
// under its paths (the top folders first, then their subfolders; new folders are added as
// they appear). Every change seen is numbered from the store's counter, appended to the
// journal and delivered. Each batch is handed to the stream's dispatch queue, where the
// callback runs; batches stop reaching the callback once the stream is invalidated.
//
// Where detail is lost (the kernel queue overflowed, a folder could not be watched, the
// journal is damaged) the stream sends MustScanSubDirs with a Dropped flag for the folder
// concerned, so the caller re-reads that subtree instead of trusting a gap.
#include <cstddef>
#include <string>
#include <vector>

#include "dispatch_queue.hpp"
#include "fsevents_store.hpp"

namespace bwplatform {

class FSEventStream;
using FSEventStreamRef = FSEventStream*;
using ConstFSEventStreamRef = const FSEventStream*;
using FSEventStreamCreateFlags = uint32_t;

inline constexpr FSEventStreamCreateFlags kFSEventStreamCreateFlagNone = 0x0;
inline constexpr FSEventStreamCreateFlags kFSEventStreamCreateFlagNoDefer = 0x2;
inline constexpr FSEventStreamCreateFlags kFSEventStreamCreateFlagFileEvents = 0x10;
inline constexpr FSEventStreamEventId kFSEventStreamEventIdSinceNow = ~0ull;

// Called on the stream's queue with one batch: `paths[i]`, `flags[i]` and `ids[i]`
// describe event i of `count`.
using FSEventStreamCallback = void (*)(ConstFSEventStreamRef stream, void* info, std::size_t count,
                                       const char* const* paths,
                                       const FSEventStreamEventFlags* flags,
                                       const FSEventStreamEventId* ids);

// A stream over `paths` (absolute) in the store named by the environment, or nullptr when
// there is no store or no path. `latency` is accepted for form: batches go out as soon as
// they are read. `since` is kFSEventStreamEventIdSinceNow for live events only (no history,
// no HistoryDone).
FSEventStreamRef FSEventStreamCreate(FSEventStreamCallback callback, void* info,
                                     std::vector<std::string> paths, FSEventStreamEventId since,
                                     double latency, FSEventStreamCreateFlags flags);

// The same, over the store in `folder`.
FSEventStreamRef FSEventStreamCreateInStore(const std::string& folder,
                                            FSEventStreamCallback callback, void* info,
                                            std::vector<std::string> paths,
                                            FSEventStreamEventId since, double latency,
                                            FSEventStreamCreateFlags flags);

void FSEventStreamSetDispatchQueue(FSEventStreamRef stream, dispatch_queue_t queue);
// False when no queue was set or the watcher cannot start.
bool FSEventStreamStart(FSEventStreamRef stream);
// Ends the reader thread; no batch is queued afterwards.
void FSEventStreamStop(FSEventStreamRef stream);
// Batches still queued are dropped instead of reaching the callback.
void FSEventStreamInvalidate(FSEventStreamRef stream);
void FSEventStreamRelease(FSEventStreamRef stream);

}  // namespace bwplatform
