// TZip's engine session: made on first use, and what TZip answers from it.
#include "engine/EngineSession.h"

#include "archive/Zip.h"

engine::EngineSession& TZip::Session() const {
    if (!session_) session_ = std::make_shared<engine::EngineSession>();
    return *session_;
}

bool TZip::Busy() const { return session_ && session_->busy; }

TProgressForm* TZip::ProgressForm() const { return session_ ? session_->progressForm.get() : nullptr; }

platform::FileStream* TZip::TraceStream() const { return session_ ? session_->traceStream.get() : nullptr; }

void TZip::SetProgressFormFactory(std::function<std::unique_ptr<TProgressForm>(TZip&)> factory) {
    Session().makeProgressForm = factory ? std::move(factory) : MakeNullProgressForm;
}
