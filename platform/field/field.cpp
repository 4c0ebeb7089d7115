// Starting the field, and the writer of the sign picture (see field.h).
//
// Each picture writer is a host thread: it waits for a change of its source
// (the modules' picture for sign.png, the front panel's dots for panel.png),
// writes the file (temporary file, then rename) and then lets at least a
// tenth of a host second pass before the next write, so that the file
// changes at most ten times a second.
#include "platform/field/field.h"

#include "platform/board/board.h"
#include "platform/kernel/kernel.h"
#include "platform/field/can/can_field.h"
#include "platform/field/can/field_control.h"
#include "platform/board/display_bus.h"
#include "platform/field/display_failures.h"
#include "platform/field/display_modules.h"
#include "platform/field/field_file.h"
#include "platform/field/panel_lcd.h"
#include "platform/picture/png.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace {

const auto MIN_WRITE_INTERVAL = std::chrono::milliseconds(100);
const int PANEL_UART = 1;

// A picture of the field written as a PNG file when its source changed.
struct PictureSource {
    std::function<uint64_t()> changes;                  // counts every change
    std::function<bool(const std::string& path)> write; // writes the picture now
};

class PictureWriter {
  public:
    explicit PictureWriter(PictureSource source) : source_(std::move(source)) {}
    ~PictureWriter() { Stop(); }
    void Start(const std::string& path) {
        Stop();
        std::lock_guard<std::mutex> lock(m_);
        path_ = path;
        written_ = 0;
        announced_ = UINT64_MAX;
        stop_ = false;
        thread_ = std::thread([this] { Run(); });
    }
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    // The writer's thread is woken only when the picture moved on since the
    // last call: most frames and panel bytes leave it as it was.
    void Changed() {
        const uint64_t changes = source_.changes();
        if (announced_.exchange(changes) == changes) return;
        { std::lock_guard<std::mutex> lock(m_); }
        cv_.notify_all();
    }
    std::string Path() {
        std::lock_guard<std::mutex> lock(m_);
        return path_;
    }
    // Writes when the picture changed since the last write.
    bool Flush() {
        std::lock_guard<std::mutex> write_lock(write_m_);
        uint64_t changes = source_.changes();
        std::string path = Path();
        if (changes == written_ || path.empty()) return true;
        bool ok = source_.write(path);
        if (ok) written_ = changes;
        return ok;
    }

  private:
    void Run() {
        std::unique_lock<std::mutex> lock(m_);
        while (!stop_) {
            cv_.wait(lock, [this] { return stop_ || source_.changes() != written_; });
            if (stop_) break;
            lock.unlock();
            Flush();
            lock.lock();
            cv_.wait_for(lock, MIN_WRITE_INTERVAL, [this] { return stop_; });
        }
    }

    const PictureSource source_;
    std::mutex m_, write_m_;
    std::condition_variable cv_;
    std::thread thread_;
    std::string path_;
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> announced_{0};
    bool stop_ = true;
};

// The sign as its modules show it, with the brightness as a text chunk.
bool write_sign_picture(const std::string& path) {
    host::SignPicture picture = field::display_modules().Picture();
    int width = 0, height = 0;
    std::vector<uint8_t> rgb = field::display_modules().Rgb(picture, width, height);
    if (width <= 0 || height <= 0) return true;
    return host::png_write_rgb(path, width, height, rgb,
                               {{"brightness", std::to_string(picture.brightness)}});
}

PictureWriter& writer() {
    // The modules the writer's thread reads are made first, so that at the
    // program's exit they are destroyed after the writer has stopped it.
    field::display_modules();
    static PictureWriter w({[] { return field::display_modules().Changes(); }, write_sign_picture});
    return w;
}

// The front panel's LCD as the bytes sent on serial port 1 draw it.
PictureWriter& panel_writer() {
    field::panel_picture_model();
    static PictureWriter w({[] { return field::panel_picture_model().DotChanges(); },
                            [](const std::string& path) {
                                return host::png_write_rgb(path, field::PANEL_WIDTH,
                                                           field::PANEL_HEIGHT,
                                                           field::panel_picture_model().Rgb());
                            }});
    return w;
}

// The front panel attached in-process as the far end of UART1.
field::PanelLcd& attached_panel() {
    static field::PanelLcd panel;
    return panel;
}

// The panel carries its CAN network once it has reported revision 7 or more.
const uint8_t TUNNEL_REVISION = 7;

bool panel_carries_tunnel() {
    field::PanelScreen screen = field::panel_picture_model().Screen();
    uint8_t latest = screen.second_revision ? screen.second_revision : screen.first_revision;
    return latest >= TUNNEL_REVISION;
}

// A frame the sign tunnelled (FE 'A') reaches the bus=panel boards; their
// replies come back on UART1 as the panel reports them (FF B8 ...).
void tunnel_frame(const std::vector<uint8_t>& args) {
    board::CanFrame frame;
    if (!panel_carries_tunnel() || !field::panel_tunnel_frame(args, frame)) return;
    field::can_field_panel_frame(frame, [](const board::CanFrame& reply) {
        board::uart_line_receive(PANEL_UART, field::panel_can_report(reply));
    });
}

// Every byte UART1 sends goes to the panel model; the revision reports it
// receives decide how the model reads data bytes and whether it carries the
// panel's CAN network.
void watch_panel_link() {
    field::panel_picture_model().Reset();
    field::panel_picture_model().OnCanFrame(tunnel_frame);
    board::uart_attach_observer(PANEL_UART, [](bool sent, const uint8_t* data, size_t size) {
        if (sent)
            field::panel_picture_model().Feed(data, size);
        else
            field::panel_picture_model().NoteSent(data, size);
        panel_writer().Changed();
    });
}

field::FieldControl& control() {
    static field::FieldControl c;
    return c;
}

} // namespace

namespace host {

bool field_start(const HostOptions& options, std::string& error) {
    field_stop();
    field::display_modules().Reset();
    board::epld_set_format_code(0);
    field::can_field_reset();
    if (!options.field_file.empty() && !field::load_field_file(options.field_file, error))
        return false;
    if (!field::can_field_start(options.state_dir, error) ||
        !control().Start(options.state_dir + "/field.ctl", error)) {
        field_stop();
        return false;
    }
    board::display_output_attach([](const board::DisplayOutput& output) {
        field::display_modules().Show(output);
        writer().Changed();
    });
    board::display_bus_set_scanner(field::module_scan_frames);
    writer().Start(options.state_dir + "/sign.png");
    watch_panel_link();
    panel_writer().Start(options.state_dir + "/panel.png");
    return true;
}

void field_stop() {
    board::display_output_attach(nullptr);
    board::display_bus_set_scanner(nullptr);
    board::uart_attach_observer(PANEL_UART, nullptr);
    panel_detach();
    writer().Stop();
    panel_writer().Stop();
    control().Stop();
    field::can_field_stop();
}

std::string field_command(const std::string& line) {
    UINT posture = tx_interrupt_mask();
    std::string reply = field::can_field_command(line);
    tx_interrupt_restore(posture);
    return reply;
}

std::string field_control_path() {
    return control().Path();
}

std::string can_log_path() {
    return field::can_log_path();
}

uint64_t can_frames() {
    return field::can_frames();
}

void can_field_send(const board::CanFrame& frame) {
    field::can_field_send(frame);
}

bool field_line(const std::string& line, std::string& error) {
    return field::apply_field_line(line, error);
}

SignPicture sign_picture() {
    return field::display_modules().Picture();
}

std::string sign_picture_path() {
    return writer().Path();
}

bool sign_picture_flush() {
    return writer().Flush();
}

field::PanelLcd& panel_attach(uint8_t revision) {
    field::PanelLcd& panel = attached_panel();
    panel.Reset();
    panel.Answer(revision, [](const uint8_t* data, size_t size) {
        board::uart_line_receive(PANEL_UART, std::vector<uint8_t>(data, data + size));
    });
    board::uart_attach_peer(
        PANEL_UART, [](const uint8_t* data, size_t size) { attached_panel().Feed(data, size); });
    return panel;
}

void panel_detach() {
    board::uart_attach_peer(PANEL_UART, nullptr);
}

void panel_send(const std::vector<uint8_t>& bytes) {
    board::uart_line_receive(PANEL_UART, bytes);
}

std::string panel_picture_path() {
    return panel_writer().Path();
}

bool panel_picture_flush() {
    return panel_writer().Flush();
}

} // namespace host
