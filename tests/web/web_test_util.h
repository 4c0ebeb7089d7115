// The web tests' fixture and client: the whole firmware on the virtual clock
// with its web server started at Ethernet start-up, a page template put into
// flash before it boots, and raw HTTP exchanges on a host socket.
#pragma once

#include "platform/monitor/monitor.h"
#include "tests/comm/agent_net_util.h"

#include <string>
#include <utility>
#include <vector>

namespace web_test {

const char* const ADMIN = "stewardcastle";
const char* const WEB_REALM = "Halvenmark";

struct Reply {
    int status = 0;
    std::string head;
    std::string body;
};

inline std::string Base64(const std::string& in) {
    static const char* table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        uint32_t v = uint8_t(in[i]) << 16 | uint8_t(in[i + 1]) << 8 | uint8_t(in[i + 2]);
        for (int s = 18; s >= 0; s -= 6)
            out += table[(v >> s) & 63];
    }
    if (i < in.size()) {
        uint32_t v = uint8_t(in[i]) << 16 | (i + 1 < in.size() ? uint8_t(in[i + 1]) << 8 : 0);
        out += table[(v >> 18) & 63];
        out += table[(v >> 12) & 63];
        out += i + 1 < in.size() ? table[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// A connection to the sign's web port (80 plus the offset).
class Client {
  public:
    Client() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = agent_test::loopback(agent_test::host_port(80));
        for (int i = 0; i < 100; i++) {
            if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return;
            usleep(20000);
        }
    }
    ~Client() { close(fd_); }
    void Send(const std::string& bytes) { send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // True when the sign closed the connection within `ms` (after any response).
    bool ClosedWithin(int ms) {
        char chunk[4096];
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, ms) <= 0) return false;
            ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) return true;
        }
    }
    // One response: up to the end of the body its Content-Length announces,
    // else until the sign closes (or `ms` pass without a byte).
    std::string ReadAll(int ms = 3000) {
        std::string all;
        while (!Complete(all)) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, ms) <= 0) return all;
            char chunk[4096];
            ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0) return all;
            all.append(chunk, size_t(n));
        }
        return all;
    }

  private:
    static bool Complete(const std::string& all) {
        size_t end = all.find("\r\n\r\n");
        size_t field = all.find("Content-Length: ");
        if (end == std::string::npos || field == std::string::npos || field > end) return false;
        return all.size() >= end + 4 + std::stoul(all.substr(field + 16));
    }
    int fd_ = -1;
};

inline Reply Parse(const std::string& all) {
    Reply r;
    size_t end = all.find("\r\n\r\n");
    r.head = all.substr(0, end == std::string::npos ? all.size() : end);
    if (end != std::string::npos) r.body = all.substr(end + 4);
    if (r.head.rfind("HTTP/1.", 0) == 0 && r.head.size() > 12)
        r.status = std::stoi(r.head.substr(9, 3));
    return r;
}

inline Reply Exchange(const std::string& request) {
    Client c;
    c.Send(request);
    return Parse(c.ReadAll());
}

inline std::string Credentials(const std::string& user, const std::string& password) {
    return "Authorization: Basic " + Base64(user + ":" + password) + "\r\n";
}

inline std::string Get(const std::string& path, const std::string& extra = "") {
    return "GET " + path + " HTTP/1.1\r\nHost: sign\r\n" + extra + "\r\n";
}

inline std::string Post(const std::string& path, const std::string& body,
                        const std::string& extra = Credentials("", ADMIN)) {
    return "POST " + path + " HTTP/1.1\r\nHost: sign\r\n" + extra +
           "Content-Type: multipart/form-data; boundary=XyZ\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A multipart body of (field name, value) parts.
inline std::string Form(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string body;
    for (const auto& f : fields)
        body += "--XyZ\r\nContent-Disposition: form-data; name=\"" + f.first + "\"\r\n\r\n" +
                f.second + "\r\n";
    return body + "--XyZ--\r\n";
}

// The files in flash, as flashtool ls lists them: name and size.
inline std::vector<std::pair<std::string, uint32_t>> FlashFiles() {
    std::vector<std::pair<std::string, uint32_t>> out;
    for (TFSHDR* h = mon_tfsnext(nullptr); h; h = mon_tfsnext(h))
        out.emplace_back(tfs_file_name(h), tfs_file_size(h));
    return out;
}

// The firmware with its web server running and `Template()` stored in flash
// as preindex.html.
class WebSign : public agent_test::NetworkedSign {
  protected:
    virtual std::string Template() const { return ""; }
    void Prepare() override {
        std::string t = Template();
        if (!t.empty())
            mon_tfsadd("preindex.html", nullptr, nullptr,
                       reinterpret_cast<const unsigned char*>(t.data()), int(t.size()));
    }
    Reply Ask(const std::string& request) {
        Reply r;
        Serve([&] { r = Exchange(request); });
        return r;
    }
};

} // namespace web_test
