// The host end of a UART's line: a raw pseudo-terminal (its slave linked as
// uartN in the state directory) or a TCP listener on loopback that serves one
// peer at a time, plus the control socket uartN.ctl through which a scripted
// peer sets the modem inputs. One host thread per line waits on all of them;
// what it receives reaches the UART model as host events (interrupts), never
// by touching the model from the host thread.
//
// Control socket: one command a line, answered by "ok" or "error: REASON":
//   DCD 0|1, RI 0|1, CTS 0|1, DSR 0|1   set the input (it stops following the peer)
//   AUTO                                the inputs follow the peer again
//   STATUS                              a line "DTR d RTS r" (the UART's outputs), then ok
#pragma once

#include "platform/board/uart.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace board {

class UartLine {
  public:
    ~UartLine() { Stop(); }
    // `spec` is "" or "pty" for a pseudo-terminal, "tcp:PORT" for a listener
    // on 127.0.0.1 at PORT + port_offset. -> false with the reason.
    bool Start(int port, Uart16550* uart, const std::string& state_dir, const std::string& spec,
               int port_offset, std::string& error);
    void Stop();
    // Where the line is: the pseudo-terminal's path or "tcp:PORT".
    std::string Name() const { return name_; }

  private:
    bool OpenPty(const std::string& state_dir, std::string& error);
    bool OpenTcp(int tcp_port, std::string& error);
    bool OpenControl(const std::string& state_dir, std::string& error);
    void Send(const uint8_t* data, size_t size);
    void Run();
    void ReadLine();
    void WriteLine();
    void Accept();
    void DropPeer();
    void ServeControl(size_t index);
    std::string Command(const std::string& text);
    void Deliver(std::vector<uint8_t> bytes);

    int port_ = 0;
    Uart16550* uart_ = nullptr;
    std::string name_, link_path_, control_path_;
    int data_fd_ = -1;   // pty master or the connected TCP peer
    int pty_slave_ = -1; // held open so the master never sees a hang-up
    int listen_fd_ = -1;
    int control_fd_ = -1;
    int wake_fd_ = -1;
    std::vector<int> clients_;
    std::vector<std::string> client_text_;
    std::mutex out_m_;
    std::vector<uint8_t> out_;
    std::atomic<long> in_flight_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace board
