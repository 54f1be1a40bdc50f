// bench_proxy: a TCP proxy on 127.0.0.1 that puts client/server traffic
// "across a network": every chunk read from one side reaches the other side
// half a round trip later, in order, and the proxy counts bytes, chunks and
// round trips (server data read after client data).
//
//   bench_proxy --listen PORT --target HOST:PORT [--rtt-ms MS] [--stats FILE] [--mode forward|stall]
//
// Signals: SIGUSR1 writes the stats file, SIGHUP zeroes the counters, SIGUSR2
// drops every open connection, SIGTERM and SIGINT write the stats and exit.
// The stats file is also rewritten whenever a connection closes. In stall
// mode the proxy accepts, reads and discards, and never answers.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <list>
#include <string>
#include <utility>
#include <vector>

namespace {

__attribute__((format(printf, 1, 2))) void Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("bench_proxy: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
}

// Owns a file descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      Reset();
      fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(); }

  [[nodiscard]] int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  // Closes a socket with a reset instead of an orderly end.
  void Abort() {
    if (fd_ < 0) return;
    const linger l{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    Reset();
  }

 private:
  int fd_ = -1;
};

using Ns = std::int64_t;

Ns Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return Ns{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

void NoDelay(int fd) {
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

struct Counters {
  std::uint64_t connections = 0, roundTrips = 0, c2sBytes = 0, s2cBytes = 0, c2sChunks = 0, s2cChunks = 0;
};

// Data read from one side, due on the other at `due`; empty data is the end of the stream.
struct Chunk {
  Ns due;
  std::string data;
  std::size_t sent = 0;
};

// One direction of a connection.
struct Flow {
  std::deque<Chunk> queue;
  std::size_t queued = 0;  // bytes read and not yet written
  bool eofRead = false, eofSent = false;
  [[nodiscard]] bool Due(Ns now) const { return !queue.empty() && queue.front().due <= now; }
};

constexpr std::size_t kMaxQueued = std::size_t{16} << 20;  // per direction; reading pauses above it
constexpr std::size_t kReadSize = std::size_t{64} << 10;
constexpr Ns kMaxLead = 200000;  // the most a timer wakes ahead of a delivery

struct Conn {
  int id = 0;
  Fd client, server;
  bool connecting = false, dead = false;
  Flow up, down;        // client to server, server to client
  bool lastUp = false;  // the last data read flowed client to server
  Counters n;
};

struct Options {
  int port = -1;
  sockaddr_storage target{};
  socklen_t targetLen = 0;
  Ns half = 0;  // half the round trip
  std::string stats;
  bool stall = false;
};

class Proxy {
 public:
  explicit Proxy(Options o) : o_(std::move(o)) {}

  // Serves until SIGTERM or SIGINT; the exit status.
  int Run() {
    if (!Listen() || !Signals()) return 1;
    std::vector<pollfd> fds;
    std::vector<std::pair<Conn*, bool>> owners;  // per polled connection fd: its connection, whether the server side
    for (;;) {
      const Ns now = Now();
      for (Conn& c : conns_) {
        if (c.dead || c.connecting || o_.stall) continue;
        if (Pump(c, c.up, c.server.get(), now) && Pump(c, c.down, c.client.get(), now) && c.up.eofSent &&
            c.down.eofSent)
          Close(c, nullptr);
      }
      conns_.remove_if([](const Conn& c) { return c.dead; });
      if (dirty_) WriteStats();

      fds.assign({{signals_.get(), POLLIN, 0}, {listen_.get(), POLLIN, 0}});
      owners.clear();
      Ns wait = -1;
      const auto add = [&](Conn& c, bool server, short events) {
        if (events == 0) return;
        fds.push_back({server ? c.server.get() : c.client.get(), events, 0});
        owners.emplace_back(&c, server);
      };
      const auto until = [&](const Flow& f) {
        if (!f.queue.empty() && f.queue.front().due > now && (wait < 0 || f.queue.front().due - now < wait))
          wait = f.queue.front().due - now;
      };
      for (Conn& c : conns_) {
        const bool readClient = !c.up.eofRead && (o_.stall || (!c.connecting && c.up.queued < kMaxQueued));
        add(c, false, static_cast<short>((readClient ? POLLIN : 0) | (c.down.Due(now) ? POLLOUT : 0)));
        if (o_.stall) continue;
        if (c.connecting) {
          add(c, true, POLLOUT);
          continue;
        }
        const bool readServer = !c.down.eofRead && c.down.queued < kMaxQueued;
        add(c, true, static_cast<short>((readServer ? POLLIN : 0) | (c.up.Due(now) ? POLLOUT : 0)));
        until(c.up);
        until(c.down);
      }
      // Wakes `lead_` early and spins the rest: timer wake-ups come tens of microseconds late.
      const Ns sleep = wait < 0 ? -1 : std::max<Ns>(wait - lead_, 0);
      const timespec ts{static_cast<time_t>(sleep / 1000000000), static_cast<long>(sleep % 1000000000)};
      const int ready = ppoll(fds.data(), fds.size(), sleep < 0 ? nullptr : &ts, nullptr);
      if (ready < 0) {
        if (errno == EINTR) continue;
        Log("poll: %s", std::strerror(errno));
        return 1;
      }
      if (ready == 0 && sleep > 0) {
        // A decaying peak of the lateness seen.
        const Ns late = Now() - now - sleep;
        lead_ = std::clamp(std::max(late, lead_ - lead_ / 16), Ns{0}, kMaxLead);
      }

      if (fds[0].revents != 0 && !HandleSignals()) break;
      for (std::size_t i = 2; i < fds.size(); ++i) {
        auto [c, server] = owners[i - 2];
        if (c->dead || fds[i].revents == 0) continue;
        if (server && c->connecting) {
          Connected(*c);
        } else if (fds[i].events & POLLIN && fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
          Read(*c, !server);
        }
      }
      if (fds[1].revents != 0) Accept();
    }
    conns_.clear();
    WriteStats();
    return 0;
  }

 private:
  bool Listen() {
    listen_ = Fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int one = 1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(o_.port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listen_.get() < 0 || setsockopt(listen_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        bind(listen_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listen_.get(), SOMAXCONN) != 0 ||
        getsockname(listen_.get(), reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      Log("listen on 127.0.0.1:%d: %s", o_.port, std::strerror(errno));
      return false;
    }
    NoDelay(listen_.get());
    std::printf("listening on 127.0.0.1:%d\n", ntohs(a.sin_port));
    std::fflush(stdout);
    return true;
  }

  bool Signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&set, s);
    signal(SIGPIPE, SIG_IGN);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return false;
    signals_ = Fd(signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
    if (signals_.get() < 0) Log("signalfd: %s", std::strerror(errno));
    return signals_.get() >= 0;
  }

  // Acts on the pending signals; false when the proxy is to end.
  bool HandleSignals() {
    signalfd_siginfo si{};
    while (read(signals_.get(), &si, sizeof si) == static_cast<ssize_t>(sizeof si)) {
      switch (si.ssi_signo) {
        case SIGTERM:
        case SIGINT:
          return false;
        case SIGUSR1:
          WriteStats();
          break;
        case SIGHUP:
          total_ = {};
          for (Conn& c : conns_) c.n = {};
          WriteStats();
          break;
        case SIGUSR2:
          for (Conn& c : conns_) {
            if (c.dead) continue;
            c.client.Abort();
            c.server.Abort();
            Close(c, "dropped");
          }
          break;
      }
    }
    return true;
  }

  void Accept() {
    for (;;) {
      Fd fd(accept4(listen_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (fd.get() < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK) Log("accept: %s", std::strerror(errno));
        return;
      }
      NoDelay(fd.get());
      Conn& c = conns_.emplace_back();
      c.id = ++lastId_;
      c.client = std::move(fd);
      ++total_.connections;
      ++c.n.connections;
      if (o_.stall) continue;
      c.server = Fd(socket(o_.target.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
      if (c.server.get() < 0) {
        Close(c, std::strerror(errno));
        continue;
      }
      NoDelay(c.server.get());
      if (connect(c.server.get(), reinterpret_cast<const sockaddr*>(&o_.target), o_.targetLen) == 0) continue;
      if (errno == EINPROGRESS) {
        c.connecting = true;
      } else {
        Close(c, std::strerror(errno));
      }
    }
  }

  // Ends a pending connect to the target.
  void Connected(Conn& c) {
    int error = 0;
    socklen_t len = sizeof error;
    if (getsockopt(c.server.get(), SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
    if (error != 0) {
      Close(c, std::strerror(error));
    } else {
      c.connecting = false;
    }
  }

  // Reads one chunk from the client (`up`) or the server and schedules it on the other side.
  void Read(Conn& c, bool up) {
    char buffer[kReadSize];
    const ssize_t r = recv(up ? c.client.get() : c.server.get(), buffer, sizeof buffer, 0);
    if (r < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) Close(c, std::strerror(errno));
      return;
    }
    const Ns now = Now();
    Flow& f = up ? c.up : c.down;
    if (r == 0) {
      f.eofRead = true;
      if (o_.stall) {
        Close(c, nullptr);
      } else {
        f.queue.push_back({now + o_.half, {}});
      }
      return;
    }
    const auto count = [&](std::uint64_t Counters::*field, std::uint64_t v) {
      c.n.*field += v;
      total_.*field += v;
    };
    const auto bytes = static_cast<std::uint64_t>(r);
    if (up) {
      count(&Counters::c2sBytes, bytes);
      count(&Counters::c2sChunks, 1);
      c.lastUp = true;
    } else {
      count(&Counters::s2cBytes, bytes);
      count(&Counters::s2cChunks, 1);
      if (c.lastUp) count(&Counters::roundTrips, 1);
      c.lastUp = false;
    }
    if (o_.stall) return;
    f.queue.push_back({now + o_.half, std::string(buffer, bytes)});
    f.queued += bytes;
  }

  // Writes the due chunks of `f` to `to` as far as it takes them; false when the connection closed.
  bool Pump(Conn& c, Flow& f, int to, Ns now) {
    while (f.Due(now)) {
      Chunk& chunk = f.queue.front();
      if (chunk.data.empty()) {
        if (shutdown(to, SHUT_WR) != 0) {
          Close(c, std::strerror(errno));
          return false;
        }
        f.eofSent = true;
        f.queue.pop_front();
        continue;
      }
      const ssize_t w = send(to, chunk.data.data() + chunk.sent, chunk.data.size() - chunk.sent, MSG_NOSIGNAL);
      if (w < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
        Close(c, std::strerror(errno));
        return false;
      }
      chunk.sent += static_cast<std::size_t>(w);
      f.queued -= static_cast<std::size_t>(w);
      if (chunk.sent == chunk.data.size()) f.queue.pop_front();
    }
    return true;
  }

  // Closes both sockets; `why` is null for an orderly end.
  void Close(Conn& c, const char* why) {
    if (c.dead) return;
    c.dead = true;
    c.client.Reset();
    c.server.Reset();
    dirty_ = true;
    Log("connection %d closed%s%s: round_trips %" PRIu64 " c2s %" PRIu64 " bytes/%" PRIu64 " chunks s2c %" PRIu64
        " bytes/%" PRIu64 " chunks",
        c.id, why != nullptr ? ", " : "", why != nullptr ? why : "", c.n.roundTrips, c.n.c2sBytes, c.n.c2sChunks,
        c.n.s2cBytes, c.n.s2cChunks);
  }

  // Rewrites the stats file atomically.
  void WriteStats() {
    dirty_ = false;
    if (o_.stats.empty()) return;
    const std::string tmp = o_.stats + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (f == nullptr) {
      Log("%s: %s", tmp.c_str(), std::strerror(errno));
      return;
    }
    std::fprintf(f,
                 "connections %" PRIu64 "\nround_trips %" PRIu64 "\nc2s_bytes %" PRIu64 "\ns2c_bytes %" PRIu64
                 "\nc2s_chunks %" PRIu64 "\ns2c_chunks %" PRIu64 "\n",
                 total_.connections, total_.roundTrips, total_.c2sBytes, total_.s2cBytes, total_.c2sChunks,
                 total_.s2cChunks);
    if (std::fclose(f) != 0 || std::rename(tmp.c_str(), o_.stats.c_str()) != 0)
      Log("%s: %s", o_.stats.c_str(), std::strerror(errno));
  }

  Options o_;
  Fd listen_, signals_;
  std::list<Conn> conns_;
  Counters total_;
  Ns lead_ = kMaxLead / 4;
  int lastId_ = 0;
  bool dirty_ = false;
};

int Usage() {
  std::fprintf(stderr,
               "usage: bench_proxy --listen PORT --target HOST:PORT [--rtt-ms MS] [--stats FILE] "
               "[--mode forward|stall]\n");
  return 2;
}

bool Port(const std::string& s, int& port) {
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || v < 0 || v > 65535) return false;
  port = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string target;
  for (int i = 1; i < argc; i += 2) {
    const std::string key = argv[i];
    if (i + 1 >= argc) return Usage();
    const std::string value = argv[i + 1];
    if (key == "--listen") {
      if (!Port(value, o.port)) return Usage();
    } else if (key == "--target") {
      target = value;
    } else if (key == "--rtt-ms") {
      char* end = nullptr;
      const double ms = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !std::isfinite(ms) || ms < 0) return Usage();
      o.half = std::llround(ms * 1e6 / 2);
    } else if (key == "--stats") {
      o.stats = value;
    } else if (key == "--mode") {
      if (value != "forward" && value != "stall") return Usage();
      o.stall = value == "stall";
    } else {
      return Usage();
    }
  }
  if (o.port < 0 || (target.empty() && !o.stall)) return Usage();
  if (!target.empty()) {
    const std::size_t colon = target.rfind(':');
    int port = 0;
    if (colon == std::string::npos || colon == 0 || !Port(target.substr(colon + 1), port)) return Usage();
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(target.substr(0, colon).c_str(), target.substr(colon + 1).c_str(), &hints, &found);
    if (rc != 0) {
      Log("%s: %s", target.c_str(), gai_strerror(rc));
      return 1;
    }
    std::memcpy(&o.target, found->ai_addr, found->ai_addrlen);
    o.targetLen = found->ai_addrlen;
    freeaddrinfo(found);
  }
  // Sub-millisecond delays: no timer slack.
  prctl(PR_SET_TIMERSLACK, 1UL);
  return Proxy(std::move(o)).Run();
}
