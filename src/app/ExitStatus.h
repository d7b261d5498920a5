#pragma once

// How the program ends, each status with what it means. --help prints this table; the manual
// page and README say the same, and a test holds them to it.
namespace exitstatus {

inline constexpr int kSuccess = 0;
inline constexpr int kRefused = 1;
inline constexpr int kNoConversation = 2;
inline constexpr int kUnreadable = 3;
inline constexpr int kUsage = 64;
inline constexpr int kAlreadyRunning = 75;

struct Meaning
{
    int status;
    const char* text;
};

inline constexpr Meaning kMeanings[] = {
    {kSuccess, "the server accepted the update or the offline step; whatever else was asked is done"},
    {kRefused, "the server refused (\"ERR\"); or --autostart could not write or remove the entry, or\n"
               "      the window has no display"},
    {kNoConversation, "no conversation: connection refused, unknown host, time-out, connection lost, or\n"
                      "      ended by a signal; --address-from alone: a post would have no address"},
    {kUnreadable, "a setting, the settings file, the history or the keyring cannot be read, or the\n"
                  "      port is not one from 1 to 65535; --password-store could not move the password;\n"
                  "      --address-from could not store the choice"},
    {kUsage, "a wrong command line"},
    {kAlreadyRunning,
     "--watch: another watcher of the same user runs; --password-store: the window or another move runs"},
};

} // namespace exitstatus
