// The window that shows nothing, where no real progress window is given.
#include "engine/ProgressForm.h"

namespace {

// Stands in for the window in the host build, the console front end and tests: the bridge runs
// every step of the window's life the same way whether or not anything is drawn.
class NullProgressForm final : public TProgressForm {
public:
    void Show() override {}
    void Hide() override {}
    void SetProgressMax(int32_t) override {}
    void SetProgressPosition(int32_t) override {}
    void SetStatusText(const std::string&) override {}
};

}  // namespace

std::unique_ptr<TProgressForm> MakeNullProgressForm(engine::EngineOperations&) { return std::make_unique<NullProgressForm>(); }
