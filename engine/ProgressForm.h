// The progress window shown during an engine call: what the bridge needs of it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace engine {
class EngineOperations;
}

// The Windows program supplies a real window; elsewhere (the host build, the console front end)
// a window that shows nothing stands in, so the bridge runs the same steps everywhere.
class TProgressForm {
public:
    virtual ~TProgressForm() = default;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void SetProgressMax(int32_t n) = 0;
    virtual void SetProgressPosition(int32_t n) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
};

// Builds the window for `owner` (positioned, not shown). The owner's Cancelled flag is set by its
// Cancel button. Each archive object holds its own; whoever owns the object on screen (the main
// window) gives it one that knows the window to centre on.
using ProgressFormFactory = std::function<std::unique_ptr<TProgressForm>(engine::EngineOperations& owner)>;

// The window that shows nothing: what an archive object uses until it is given another factory.
std::unique_ptr<TProgressForm> MakeNullProgressForm(engine::EngineOperations& owner);
