// Spanning an archive onto floppy disks as a multi-disk set, and merging such a set back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "zipformat/EndRecord.h"

namespace volumes {

// Called after each block copied: the file being written, the bytes done, the bytes in all.
using VolumeProgress = std::function<void(const std::string& fileName, int32_t done, int32_t total)>;

// Writes the open archive across removable disks as a multi-disk set, or whole when it fits the
// first disk; the archive itself is only read. False when nothing was done or on Cancel.
bool SpanZip(zip::Archive& archive, const std::string& DestFileName, int32_t MaxFileSize, int32_t Disk1Reserve,
             const VolumeProgress& progress);
// Joins the multi-disk set open from a floppy into one ordinary archive on a fixed disk.
// False when nothing was done or on Cancel; the target then is as it was before.
bool MergeSpannedZip(const zip::Archive& archive, const std::string& DestFileName, const VolumeProgress& progress);
// The last step of a merge: makes the joined parts in `target` one single-disk archive, every
// central record's offset counted from the start of the file and every disk number 0, in the ZIP64
// fields and records where the set has them. `diskOffsets[d]` is where disk d's part begins,
// counted as its own offsets count; `set` is the end of the set's last disk. A ZipException when
// the directory does not fit the parts, or an offset needs a ZIP64 field the entry lacks.
void RewriteMergedDirectory(platform::Stream& target, const zip::EndOfArchive& set,
                            const std::vector<int64_t>& diskOffsets, const std::string& destFileName);

}  // namespace volumes
