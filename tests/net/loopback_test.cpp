// End to end over loopback: trailbok-server and two headless games ridden by "--autopilot" race
// two laps of the practice track; the server and both games agree on the results, with and
// without a slow and lossy network at the games.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {
std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A UDP port nobody holds right now.
int free_port() {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    close(s);
    return ntohs(a.sin_port);
}

// A program started with its own environment additions, its output going to a file.
struct child {
    pid_t pid = -1;
    fs::path output;
};

child spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const fs::path& output, const fs::path& folder) {
    child c;
    c.output = output;
    std::vector<std::string> environment = env;
    for (char** e = environ; *e; e++) environment.push_back(*e);
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    if (posix_spawn(&c.pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        c.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return c;
}

// Asks a program to stop and waits for it; its exit status, or -1 when it had to be killed.
int stop(child& c) {
    if (c.pid <= 0) return -1;
    kill(c.pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 300; i++) {
        if (waitpid(c.pid, &status, WNOHANG) == c.pid) {
            c.pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    kill(c.pid, SIGKILL);
    waitpid(c.pid, &status, 0);
    c.pid = -1;
    return -1;
}

// The results without their first line, which carries the date of writing.
std::string without_date(const std::string& results) {
    size_t line = results.find('\n');
    return line == std::string::npos ? "" : results.substr(line + 1);
}

struct rider {
    std::string name;
    std::string number;
    std::string greeting;
    fs::path home;
    child game;
};

class loopback : public ::testing::Test {
  protected:
    fs::path root;
    child server;
    rider riders[2] = {{"Alice", "7", "hello from Alice", {}, {}},
                       {"Bruno", "12", "hello from Bruno", {}, {}}};

    void SetUp() override {
        root = fs::temp_directory_path() /
               ("tb_loopback_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "server" / "results");
        for (rider& r : riders) {
            r.home = root / r.name;
            fs::create_directories(r.home / "Trailbok");
            std::ofstream(r.home / "Trailbok" / "config")
                << "name=" << r.name << "\nnumber=" << r.number << "\n";
        }
    }
    void TearDown() override {
        for (rider& r : riders) stop(r.game);
        stop(server);
        if (!HasFailure()) fs::remove_all(root);
    }

    // Runs a race to its results; every game gets the extra options, the server its own.
    void race(const std::vector<std::string>& game_options,
              const std::vector<std::string>& server_options = {}) {
        const std::string game_dir = TB_GAME_DIR;
        const int port = free_port();
        std::vector<std::string> server_args = {game_dir + "/trailbok-server",
                                                "--track",
                                                "practice",
                                                "--port",
                                                std::to_string(port),
                                                "--laps",
                                                "2",
                                                "--max-riders",
                                                "2",
                                                "--gate-drop",
                                                "3",
                                                "--warmup",
                                                "60",
                                                "--results",
                                                (root / "server" / "results").string(),
                                                "--name",
                                                "Loopback"};
        server_args.insert(server_args.end(), server_options.begin(), server_options.end());
        server = spawn(server_args, {"XDG_DATA_HOME=" + (root / "server").string()},
                       root / "server.log", root / "server");
        ASSERT_GT(server.pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        for (rider& r : riders) {
            std::vector<std::string> args = {game_dir + "/trailbok",
                                             "--nosound",
                                             "--autopilot",
                                             "--width",
                                             "160",
                                             "--height",
                                             "120",
                                             "--connect",
                                             "127.0.0.1:" + std::to_string(port),
                                             "--say",
                                             r.greeting};
            args.insert(args.end(), game_options.begin(), game_options.end());
            r.game = spawn(args,
                           {"XDG_DATA_HOME=" + r.home.string(), "SDL_VIDEODRIVER=offscreen",
                            "SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"},
                           root / (r.name + ".out"), root);
            ASSERT_GT(r.game.pid, 0);
        }
        // Two laps of about 25 s each after a 3 s gate drop; far more is a failure.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
        auto done = [&] {
            if (fs::is_empty(root / "server" / "results")) return false;
            for (const rider& r : riders)
                if (!fs::exists(r.home / "Trailbok" / "results.txt")) return false;
            return true;
        };
        while (!done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ASSERT_TRUE(done()) << read_text(root / "server.log") << "\n--- Alice\n"
                            << read_text(riders[0].home / "Trailbok" / "lastlog.txt")
                            << "\n--- Bruno\n"
                            << read_text(riders[1].home / "Trailbok" / "lastlog.txt");
        // A game writes its results in one go; the moment after it appears they are whole.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }

    std::string server_results() {
        for (const fs::directory_entry& e : fs::directory_iterator(root / "server" / "results"))
            return read_text(e.path());
        return {};
    }

    // Both riders finished both laps, and every game and the server hold the same results.
    void expect_agreement() {
        const std::string at_server = server_results();
        ASSERT_EQ(at_server.rfind("Time=0.00|Laps=2|Track=practice|", 0), 0u) << at_server;
        for (const rider& r : riders) {
            const std::string at_game = read_text(r.home / "Trailbok" / "results.txt");
            EXPECT_EQ(without_date(at_game), without_date(at_server)) << r.name;
            // "%4s | %12s | %4d |": the rider's number and its two laps.
            std::string row =
                std::string(4 - r.number.size(), ' ') + r.number + " | yz250f(2017) |    2 | ";
            EXPECT_NE(at_server.find(row), std::string::npos) << at_server;
        }
        // Each lap ends at the finish: 13 crossings for the first lap, 12 for the second.
        size_t rows = 0;
        for (size_t at = 0; (at = at_server.find("\r\n25\r\n", at)) != std::string::npos; at++)
            rows++;
        EXPECT_EQ(rows, 2u) << at_server;
    }

    // Each rider's chat line went through the server to the other rider.
    void expect_chat() {
        const std::string log = read_text(root / "server.log");
        for (int i = 0; i < 2; i++) {
            const rider& from = riders[i];
            const std::string line = from.name + " #" + from.number + ": " + from.greeting;
            EXPECT_NE(log.find(line), std::string::npos) << log;
            const std::string other = read_text(riders[1 - i].home / "Trailbok" / "lastlog.txt");
            EXPECT_NE(other.find("] " + line + "\n"), std::string::npos) << other;
        }
    }

    // The games leave the server when asked to stop, and the server notes it.
    void expect_clean_leaving() {
        for (rider& r : riders) EXPECT_EQ(stop(r.game), 0) << r.name;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(stop(server), 0);
        const std::string log = read_text(root / "server.log");
        for (const rider& r : riders)
            EXPECT_NE(log.find(r.name + " #" + r.number + " left"), std::string::npos) << log;
    }
};

TEST_F(loopback, TwoAutopilotRidersRaceTwoLapsAndAgreeOnTheResults) {
    race({});
    expect_agreement();
    expect_chat();
    expect_clean_leaving();
}

// The line each game logs as it closes: the digest of its ground once every edit is dug.
std::string rutted_ground(const fs::path& log) {
    const std::string text = read_text(log);
    const std::string key = "Rutted ground ";
    size_t at = text.rfind(key);
    if (at == std::string::npos) return {};
    return text.substr(at + key.size(), text.find('\n', at) - at - key.size());
}

// The server erodes the ground: each game's wheels dig paths that go through the server to both
// games, which end with the same ground.
TEST_F(loopback, WithErosionOnBothGamesEndWithTheSameGround) {
    race({}, {"--erode", "20"});
    expect_agreement();
    expect_clean_leaving();
    const std::string first = rutted_ground(riders[0].home / "Trailbok" / "lastlog.txt");
    const std::string second = rutted_ground(riders[1].home / "Trailbok" / "lastlog.txt");
    ASSERT_FALSE(first.empty()) << read_text(riders[0].home / "Trailbok" / "lastlog.txt");
    EXPECT_EQ(first, second);
    // "<digest> after <n> dug points": the riders did dig.
    int points = 0;
    ASSERT_EQ(std::sscanf(first.c_str() + 40, " after %d dug points", &points), 1) << first;
    EXPECT_GT(points, 0);
}

TEST_F(loopback, WithLagAndLossAtBothGamesTheRaceStillFinishesInAgreement) {
    race({"--fake-lag", "200", "--fake-loss", "30"});
    expect_agreement();
    expect_chat();
    expect_clean_leaving();
}
} // namespace
