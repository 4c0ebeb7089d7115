// Starting the field, and the writer of the sign picture (see field.h).
//
// The writer is a host thread: it waits for a change of the modules'
// picture, writes sign.png (temporary file, then rename, with the brightness
// as a text chunk) and then lets at least a tenth of a host second pass
// before the next write, so that the file changes at most ten times a second.
#include "platform/field/field.h"

#include "platform/board/board.h"
#include "platform/kernel/kernel.h"
#include "platform/field/can/can_field.h"
#include "platform/field/can/field_control.h"
#include "platform/board/display_bus.h"
#include "platform/field/display_failures.h"
#include "platform/field/display_modules.h"
#include "platform/field/field_file.h"
#include "platform/picture/png.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

const auto MIN_WRITE_INTERVAL = std::chrono::milliseconds(100);

class PictureWriter {
  public:
    ~PictureWriter() { Stop(); }
    void Start(const std::string& path) {
        Stop();
        std::lock_guard<std::mutex> lock(m_);
        path_ = path;
        written_ = 0;
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
    void Changed() {
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
        host::SignPicture picture = field::display_modules().Picture();
        std::string path = Path();
        if (picture.changes == written_ || path.empty()) return true;
        int width = 0, height = 0;
        std::vector<uint8_t> rgb = field::display_modules().Rgb(picture, width, height);
        if (width <= 0 || height <= 0) return true;
        bool ok = host::png_write_rgb(path, width, height, rgb,
                                      {{"brightness", std::to_string(picture.brightness)}});
        if (ok) written_ = picture.changes;
        return ok;
    }

  private:
    void Run() {
        std::unique_lock<std::mutex> lock(m_);
        while (!stop_) {
            cv_.wait(lock,
                     [this] { return stop_ || field::display_modules().Changes() != written_; });
            if (stop_) break;
            lock.unlock();
            Flush();
            lock.lock();
            cv_.wait_for(lock, MIN_WRITE_INTERVAL, [this] { return stop_; });
        }
    }

    std::mutex m_, write_m_;
    std::condition_variable cv_;
    std::thread thread_;
    std::string path_;
    std::atomic<uint64_t> written_{0};
    bool stop_ = true;
};

PictureWriter& writer() {
    // The modules the writer's thread reads are made first, so that at the
    // program's exit they are destroyed after the writer has stopped it.
    field::display_modules();
    static PictureWriter w;
    return w;
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
    return true;
}

void field_stop() {
    board::display_output_attach(nullptr);
    board::display_bus_set_scanner(nullptr);
    writer().Stop();
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

} // namespace host
