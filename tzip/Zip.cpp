// TZip: forwards spanning and merging to their layer and raises the component's events.
#include "tzip/Zip.h"

#include "volumes/Volumes.h"

bool TZip::SpanZip(const std::string& DestFileName, int32_t MaxFileSize, int32_t Disk1Reserve) {
    return volumes::SpanZip(*this, DestFileName, MaxFileSize, Disk1Reserve,
                            [this](const std::string& fileName, int32_t done, int32_t total) {
                                if (OnSpanProgress) OnSpanProgress(this, fileName, done, total);
                            });
}

bool TZip::MergeSpannedZip(const std::string& DestFileName) {
    return volumes::MergeSpannedZip(*this, DestFileName,
                                    [this](const std::string& fileName, int32_t done, int32_t total) {
                                        if (OnMergeProgress) OnMergeProgress(this, fileName, done, total);
                                    });
}

void TZip::SetProgressFormFactory(std::function<std::unique_ptr<TProgressForm>(TZip&)> factory) {
    if (!factory) {
        EngineOperations::SetProgressFormFactory(nullptr);
        return;
    }
    EngineOperations::SetProgressFormFactory([this, factory](engine::EngineOperations&) { return factory(*this); });
}

void TZip::ContentsChanged() {
    if (OnContentsChanged) OnContentsChanged(this);
}

void TZip::BeginFileEvent(const std::string& fileName, int32_t fileSize) {
    if (OnZEDBeginFileEvent) OnZEDBeginFileEvent(this, fileName, fileSize, BatchFileCount, engine::EventBytes(BatchTotalBytes));
}

void TZip::ProgressEvent(const std::string& fileName, int32_t increment) {
    if (OnZEDProgressEvent) OnZEDProgressEvent(this, fileName, increment, engine::EventBytes(BatchTotalBytes));
}

void TZip::EndBatchEvent() {
    if (OnZEDEndBatchEvent) OnZEDEndBatchEvent(this, BatchSkippedCount, BatchFileCount, engine::EventBytes(BatchTotalBytes));
}
