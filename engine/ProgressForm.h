// The progress window shown during an engine call: what the bridge needs of it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TZip;

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
// Cancel button.
using ProgressFormFactory = std::unique_ptr<TProgressForm> (*)(TZip& owner);

// The factory the bridge uses; the program installs the real window's. Defaults to the null window.
ProgressFormFactory CurrentProgressFormFactory();
void SetProgressFormFactory(ProgressFormFactory factory);  // nullptr restores the null window
