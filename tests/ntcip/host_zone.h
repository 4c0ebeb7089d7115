// The host's time-zone data as the reference of the sign's local time.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace zone_test {

// The UTC offset (seconds) of the host zone `zone` (e.g. "America/Chicago")
// at `utc`; TZ is put back as it was.
inline long host_utc_offset(const char* zone, time_t utc) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", zone, 1);
    tzset();
    struct tm local = {};
    localtime_r(&utc, &local);
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    return local.tm_gmtoff;
}

// US Central time, the sign's factory zone and rule.
inline long chicago_offset(time_t utc) {
    return host_utc_offset("America/Chicago", utc);
}

} // namespace zone_test
