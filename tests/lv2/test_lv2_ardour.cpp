// A real host: Ardour, run headless through its Lua interpreter, puts the
// LV2 build on a track, saves the session, and reopens it after its state
// was replaced by a VST chunk. The session it saves then must hold that
// chunk unchanged. Skipped where Ardour is not installed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "../PluginHost.h"
#include "../PrivateXServer.h"
#include "engine/Plugin.h"
#include "lv2/Lv2Ports.h"

namespace {

namespace fs = std::filesystem;
using vh::test::PluginHost;

constexpr const char* kArdour = "ardour7-lua";
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = uint32_t(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= uint32_t(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= bytes[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
    }
    return out;
}

std::vector<uint8_t> unbase64(const std::string& text) {
    std::vector<uint8_t> out;
    uint32_t v = 0;
    int bits = 0;
    for (char c : text) {
        const char* p = std::strchr(kAlphabet, c);
        if (c == 0 || p == nullptr) continue;
        v = (v << 6) | static_cast<uint32_t>(p - kAlphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>((v >> bits) & 0xFF));
        }
    }
    return out;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The chunk literal of a state file Ardour wrote, and where it sits.
bool findChunk(const std::string& state, size_t& begin, size_t& end) {
    std::string key = std::string("<") + vh::lv2::kChunkKey + "> \"\"\"";
    begin = state.find(key);
    if (begin == std::string::npos) return false;
    begin += key.size();
    end = state.find("\"\"\"", begin);
    return end != std::string::npos;
}

// The state folder the session file names for its one LV2 plug-in.
fs::path stateOf(const fs::path& session, const std::string& name) {
    std::string xml = readText(session / (name + ".ardour"));
    std::smatch id, dir;
    if (!std::regex_search(xml, id, std::regex("<Processor id=\"([0-9]+)\"[^>]*unique-id=\"urn:vornhalyx:VornHalyx\"")))
        return {};
    if (!std::regex_search(xml, dir, std::regex("state-dir=\"([^\"]+)\""))) return {};
    return session / "plugins" / id[1].str() / dir[1].str() / "state.ttl";
}

int runArdour(const fs::path& home, const fs::path& script) {
    std::string command = "HOME='" + home.string() + "' LV2_PATH='" + (home / "lv2").string() +
                          ":/usr/lib/lv2' timeout 300 " + kArdour + " '" + script.string() + "' > '" +
                          (home / "ardour.log").string() + "' 2>&1";
    return std::system(command.c_str());
}

TEST(Lv2Ardour, ReopensASessionWithTheStateItWasSavedWith) {
#ifdef VH_SANITIZED
    GTEST_SKIP() << "Ardour cannot load a plug-in built with a sanitizer";
#endif
    if (!vh::test::PrivateXServer::programInPath(kArdour)) GTEST_SKIP() << "Ardour (ardour7-lua) not installed";
    fs::path home = fs::temp_directory_path() / ("vh-ardour-" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home / "lv2");
    fs::create_directory_symlink(VH_LV2_BUNDLE, home / "lv2" / "VornHalyx.lv2");
    fs::path session = home / "session";

    writeText(home / "create.lua",
              "create_session('" + session.string() + "', 'vh', 48000)\n"
              "local t = Session:new_audio_track(2, 2, nil, 1, 'T', ARDOUR.PresentationInfo.max_order,"
              " ARDOUR.TrackMode.Normal, true):front()\n"
              "local p = ARDOUR.LuaAPI.new_plugin(Session, '" + std::string(vh::lv2::kPluginUri) +
                  "', ARDOUR.PluginType.LV2, '')\n"
              "assert(not p:isnil(), 'no plug-in')\n"
              "assert(t:add_processor_by_index(p, 0, nil, true) == 0, 'not added')\n"
              "assert(p:to_insert():plugin(0):parameter_count() == " + std::to_string(vh::lv2::kNumPorts) + ")\n"
              "Session:save_state('', false, false, false, false, false)\n"
              "close_session()\n"
              "print('created')\n");
    ASSERT_EQ(runArdour(home, home / "create.lua"), 0) << readText(home / "ardour.log");
    fs::path first = stateOf(session, "vh");
    ASSERT_TRUE(fs::exists(first)) << first;

    // The session's plug-in state becomes a chosen preset's VST chunk.
    PluginHost host;
    ASSERT_TRUE(host.open());
    int32_t selection[2] = {1, 7};
    ASSERT_EQ(host.call(vst::effVendorSpecific, vh::kVendorCommand, vh::kVendorSelectPreset, selection), 1);
    void* data = nullptr;
    auto size = host.call(vst::effGetChunk, 0, 0, &data);
    ASSERT_GT(size, 0);
    std::vector<uint8_t> chunk(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    std::string state = readText(first);
    size_t begin, end;
    ASSERT_TRUE(findChunk(state, begin, end));
    ASSERT_NE(unbase64(state.substr(begin, end - begin)), chunk);
    writeText(first, state.substr(0, begin) + base64(chunk) + state.substr(end));

    // Reopened and saved under a new name: Ardour asks the plug-in for its
    // state again and keeps a new copy only if it differs from what it read.
    writeText(home / "reopen.lua", "load_session('" + session.string() + "', 'vh')\n"
                                   "Session:save_state('again', false, false, false, false, false)\n"
                                   "close_session()\n"
                                   "print('reopened')\n");
    ASSERT_EQ(runArdour(home, home / "reopen.lua"), 0) << readText(home / "ardour.log");
    fs::path second = stateOf(session, "again");
    ASSERT_TRUE(fs::exists(second)) << second;
    std::string again = readText(second);
    ASSERT_TRUE(findChunk(again, begin, end));
    EXPECT_TRUE(unbase64(again.substr(begin, end - begin)) == chunk);
    fs::remove_all(home);
}

}  // namespace
