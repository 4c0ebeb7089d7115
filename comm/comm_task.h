// comm_task: the "Communication" task. It will start the network, the NTCIP
// agents and file transfer; for now it runs its step, serves its maintenance
// letters and answers the ping request.
#pragma once

#include "runtime/mail_task.h"

class comm_task : public CMailTask {
  public:
    explicit comm_task(post_office& office);
    void HandleLetter(const letter_s& letter) override;
};

comm_task& the_comm_task();

// Start-up: open the controller's serial ports and create the NTCIP agents;
// may carve memory at the cursor. -> 1 when every agent was created.
int InitNTCIPObjects(uint8_t** cursor);
