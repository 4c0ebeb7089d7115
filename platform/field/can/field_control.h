// The field's control socket, state/field.ctl: a Unix stream socket taking
// the field's control commands (can_field.h) one a line. A host thread
// serves the clients; each command reaches the processor as a host event and
// the thread sends back the reply it produced, so no host thread touches a
// model. Every line gets its reply, in order, however slowly the client
// reads them. A line longer than FIELD_COMMAND_MAX is refused whole, with
// one error.
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
    // Replies held for a client that reads slowly; past this the client's
    // further commands wait in its socket until it has read.
    static const size_t OUTPUT_HELD_MAX = 4u << 20;
    struct Client {
        int fd;
        std::string text; // received, not yet a whole line
        std::string out;  // replies not yet taken by the client
        bool discarding;  // the rest of a line too long
        bool ended;       // the client sends no more
    };
    void Run();
    bool Serve(Client& client); // false: the client left
    bool Flush(Client& client);
    bool Handle(Client& client, short ready);
    std::string OnProcessor(const std::string& line);

    std::string path_;
    int listen_fd_ = -1;
    int wake_fd_ = -1;
    std::vector<Client> clients_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace field
