#include "display/display_lock.h"

void display_lock::Create() {
    if (created_) return;
    created_ = tx_mutex_create(&mutex_, "Activate Msg", TX_INHERIT) == TX_SUCCESS;
}

bool display_lock::Take() {
    return created_ && tx_mutex_get(&mutex_, TX_WAIT_FOREVER) == TX_SUCCESS;
}

void display_lock::Release() {
    tx_mutex_put(&mutex_);
}
