// The field's control socket, state/field.ctl: a Unix stream socket taking
// the field's control commands (can_field.h) one a line. A host thread
// serves the clients; each command reaches the processor as a host event and
// the thread sends back the reply it produced, so no host thread touches a
// model. A line longer than FIELD_COMMAND_MAX is refused whole.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace field {

class FieldControl {
  public:
    ~FieldControl() { Stop(); }
    bool Start(const std::string& path, std::string& error);
    void Stop();
    std::string Path() const { return path_; }

  private:
    struct Client {
        int fd;
        std::string text;
        bool discarding; // the rest of a line too long
    };
    void Run();
    bool Serve(Client& client); // false: the client left
    std::string OnProcessor(const std::string& line);

    std::string path_;
    int listen_fd_ = -1;
    int wake_fd_ = -1;
    std::vector<Client> clients_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace field
