// CDisplay: the "Display" task. It will take activation requests, render
// messages and drive the sign; for now it runs its step and serves its
// maintenance letters.
#pragma once

#include "runtime/mail_task.h"

class CDisplay : public CMailTask {
  public:
    explicit CDisplay(post_office& office);
    int Start(TX_BYTE_POOL& pool);
    void HandleLetter(const letter_s& letter) override;
};

CDisplay& TheDisplay();
