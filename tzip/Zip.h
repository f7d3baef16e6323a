// The archive component TZip: one ZIP archive with every operation on it, composed from the
// layers that do the work (the archive as data, the engine bridge, spanning and merging).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/Archive.h"
#include "engine/EngineOperations.h"
#include "engine/ProgressForm.h"

class TZip;
using TNotifyEvent = std::function<void(TZip* Sender)>;
using TProgressEvent =
    std::function<void(TZip* Sender, const std::string& Filename, int32_t BytesDone, int32_t TotalBytes)>;
using TZEDBeginFileEvent = std::function<void(TZip* Sender, const std::string& Filename, int32_t FileSize,
                                              int32_t BatchCount, int32_t TotalBytesInBatch)>;
using TZEDEndBatchEvent =
    std::function<void(TZip* Sender, int32_t SkippedCount, int32_t BatchCount, int32_t TotalBytesInBatch)>;

// The data and the engine operations come from the layers below as they are (its fields and
// counters are the component's interface); spanning and merging are forwarded, and every event is
// raised here with the component as its sender.
class TZip final : public engine::EngineOperations {
public:
    TZip() = default;

    // Writes the open archive across removable disks as a multi-disk set, or whole when it fits
    // the first disk; the archive itself is only read. False when nothing was done or on Cancel.
    bool SpanZip(const std::string& DestFileName, int32_t MaxFileSize, int32_t Disk1Reserve);
    // Joins the multi-disk set open from a floppy into one ordinary archive on a fixed disk.
    // False when nothing was done or on Cancel; the target then is as it was before.
    bool MergeSpannedZip(const std::string& DestFileName);

    // Who builds the progress window of the engine calls; each archive object holds its own, the
    // window that shows nothing until it is given another.
    void SetProgressFormFactory(std::function<std::unique_ptr<TProgressForm>(TZip&)> factory);

    TNotifyEvent OnContentsChanged;
    TZEDBeginFileEvent OnZEDBeginFileEvent;
    TProgressEvent OnZEDProgressEvent;
    TZEDEndBatchEvent OnZEDEndBatchEvent;
    TProgressEvent OnMergeProgress;
    TProgressEvent OnSpanProgress;

private:
    void ContentsChanged() override;
    void BeginFileEvent(const std::string& fileName, int32_t fileSize) override;
    void ProgressEvent(const std::string& fileName, int32_t increment) override;
    void EndBatchEvent() override;
};
