#include "display/disp/core.h"

#include "platform/kernel/kernel.h"

#include <cstring>

namespace disp {

namespace {

bool same(const char* a, const char* b) {
    return a && b && std::strcmp(a, b) == 0;
}

face* as_face(impl::node* n) {
    return static_cast<face*>(n);
}

bus* as_bus(impl::node* n) {
    return static_cast<bus*>(n);
}

} // namespace

bool core::start() {
    if (state_ >= STARTED) return false;
    faces_.init();
    buses_.init();
    state_ = STARTED;
    return true;
}

bool core::stop() {
    if (state_ != STARTED) return false;
    CInterruptLock lock;
    for (impl::node* n = faces_.head(); n; n = n->next)
        as_face(n)->disconnect();
    faces_.clear();
    buses_.clear();
    state_ = STOPPED;
    return true;
}

face* core::find_face(const char* face_name) const {
    for (impl::node* n = faces_.head(); n; n = n->next)
        if (same(as_face(n)->config()->face_name, face_name)) return as_face(n);
    return nullptr;
}

bus* core::find_bus(const char* bus_name) const {
    for (impl::node* n = buses_.head(); n; n = n->next)
        if (same(as_bus(n)->name(), bus_name)) return as_bus(n);
    return nullptr;
}

bool core::add_bus(bus* added) {
    if (state_ != STARTED || !added || !added->is_attached() || !added->name() ||
        find_bus(added->name()))
        return false;
    CInterruptLock lock;
    added->set_registry(this);
    buses_.push_back(added);
    for (impl::node* n = faces_.head(); n; n = n->next)
        if (same(as_face(n)->config()->bus_name, added->name())) as_face(n)->connect(added);
    return true;
}

bool core::remove_bus(bus* removed) {
    if (state_ != STARTED || !removed || !removed->name()) return false;
    bus* registered = find_bus(removed->name());
    if (!registered) return false;
    CInterruptLock lock;
    for (impl::node* n = faces_.head(); n; n = n->next)
        if (same(as_face(n)->config()->bus_name, registered->name())) as_face(n)->disconnect();
    buses_.remove(registered);
    registered->set_registry(nullptr);
    return true;
}

bool core::add_face(face* added) {
    if (state_ != STARTED || !added || added->state() < face::ATTACHED ||
        find_face(added->config()->face_name))
        return false;
    CInterruptLock lock;
    faces_.push_back(added);
    if (bus* to = find_bus(added->config()->bus_name)) added->connect(to);
    return true;
}

bool core::remove_face(face* removed) {
    if (state_ != STARTED || !removed || !removed->config()) return false;
    face* registered = find_face(removed->config()->face_name);
    if (!registered) return false;
    CInterruptLock lock;
    registered->disconnect();
    faces_.remove(registered);
    return true;
}

bool core::broadcast(const packet& received, const bus* from) {
    if (state_ != STARTED || !from) return false;
    for (impl::node* n = faces_.head(); n; n = n->next)
        if (same(as_face(n)->config()->bus_name, from->name())) as_face(n)->forward(received);
    return true;
}

} // namespace disp
