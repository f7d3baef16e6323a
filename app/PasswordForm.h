// TPasswordForm: the Set Password box, the password and whether new entries get strong encryption.
#pragma once

#include "platform/win32/Window.h"

#include <string>

class TPasswordForm final : public platform::win32::ModalDialog {
public:
    // Set before the run; on OK they hold what the box showed.
    std::string Caption;
    std::string Password;
    bool StrongEncryption = false;

private:
    platform::win32::DialogTemplate MakeTemplate() const override;
    void OnInitDialog() override;
    bool OnOk() override;
};
