// CPeripheralTask: the "Peripheral" task. It will poll every peripheral and
// derive the climate, brightness-limit and error outputs; for now it runs its
// step and serves its maintenance letters.
#pragma once

#include "runtime/mail_task.h"

class CPeripheralTask : public CMailTask {
  public:
    explicit CPeripheralTask(post_office& office);
    int Start(TX_BYTE_POOL& pool);
    void HandleLetter(const letter_s& letter) override;
};

CPeripheralTask& ThePeripheralTask();
