#include "LineChannel.hpp"

#include "Protocol.hpp"
#include "Text.hpp"

namespace virirado {

namespace {

constexpr std::size_t kStderrTailLength = 600;

}  // namespace

LineChannel::LineChannel(std::size_t maxLineBytes, TrafficLog log)
    : m_maxLineBytes(maxLineBytes), m_log(std::move(log)) {}

void LineChannel::reset() {
    dropPending();
    m_overlong = false;
    m_errorPending.clear();
    m_stderrTail.clear();
}

void LineChannel::consume(std::string_view in, const Handler& handle) {
    if (m_overlong) {
        const std::size_t lf = in.find('\n');
        if (lf == std::string_view::npos) return;
        in.remove_prefix(lf + 1);
        m_overlong = false;
    }
    // Only the new bytes are searched: a long line arrives in many reads. Its
    // pieces are kept apart until its end comes, then joined once.
    std::size_t lf = in.find('\n');
    if (lf == std::string_view::npos) {
        keepPartial(in);
        return;
    }
    std::string joined;
    if (!m_pending.empty()) {
        joined.reserve(m_pendingBytes + in.size());
        for (const std::string& piece : m_pending)
            joined += piece;
        joined += in;
        lf += m_pendingBytes;
        in = joined;
        dropPending();
    }
    std::size_t from = 0;
    for (; lf != std::string_view::npos; lf = in.find('\n', from)) {
        const std::string_view raw = in.substr(from, lf - from);
        from = lf + 1;
        if (raw.size() > m_maxLineBytes || !protocol::validUtf8(raw)) continue;
        const std::string_view line = protocol::trimmed(raw);
        if (line.empty()) continue;
        handleLogged(line, handle);
    }
    keepPartial(in.substr(from));
}

void LineChannel::handleLogged(std::string_view line, const Handler& handle) {
    // The line and the commands it leads to reach the traffic log after it is
    // handled, in that order: a clean's report writes the deletion log first,
    // so the traffic log cannot take the room the clean just freed.
    struct Hold {
        LineChannel& channel;
        explicit Hold(LineChannel& c) : channel(c) { channel.m_holdTraffic = true; }
        ~Hold() { channel.m_holdTraffic = false; }
    };
    {
        const Hold hold(*this);
        handle(line);
    }
    logTraffic("<<", line);
    std::vector<std::pair<std::string, std::string>> held;
    held.swap(m_heldTraffic);
    for (const auto& [prefix, text] : held)
        logTraffic(prefix, text);
}

void LineChannel::logTraffic(std::string_view prefix, std::string_view text) {
    if (!m_log) return;
    if (m_holdTraffic) {
        m_heldTraffic.emplace_back(prefix, text);
    } else {
        m_log(prefix, text);
    }
}

void LineChannel::keepPartial(std::string_view bytes) {
    m_pendingBytes += bytes.size();
    if (m_pendingBytes > m_maxLineBytes) {
        // Past the cap the line is lost; the rest of it up to its line feed
        // must not be taken for a line of its own.
        dropPending();
        m_overlong = true;
    } else if (!bytes.empty()) {
        m_pending.emplace_back(bytes);
    }
}

void LineChannel::dropPending() {
    m_pending.clear();
    m_pendingBytes = 0;
}

void LineChannel::consumeError(const std::string& bytes) {
    std::string chunk = std::move(m_errorPending) + bytes;
    m_errorPending.clear();
    const std::size_t whole = protocol::completePrefix(chunk);
    if (whole < chunk.size() && chunk.size() - whole < 4) {
        m_errorPending = chunk.substr(whole);
        chunk.resize(whole);
    }
    if (chunk.empty() || !protocol::validUtf8(chunk)) return;
    if (m_log) m_log("stderr", chunk);
    m_stderrTail =
        std::string(durozizo::text::lastGraphemes(m_stderrTail + chunk, kStderrTailLength));
}

}  // namespace virirado
