// Costs of the embedded server's administration: a login, opening and closing a session,
// listing processes with many live sessions, and the kill check a connection makes before
// every statement. Prints figures; asserts nothing.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "core/server_password.h"
#include "data/embedded/backend.h"
#include "data/embedded/instance.h"

namespace {

using Clock = std::chrono::steady_clock;

// Mean time of one call of `work` over `count` calls, in microseconds.
double MeanMicroseconds(int count, const std::function<void()>& work) {
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) work();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / count;
}

}  // namespace

int main() {
  std::string pattern = (std::filesystem::temp_directory_path() / "msu-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const std::string root = pattern;
  const std::string data_file = root + "/Alpha.mdf";
  {
    std::FILE* file = std::fopen(data_file.c_str(), "wb");
    const char header[16] = "SQLite format 3";
    std::fwrite(header, 1, sizeof header, file);
    std::fclose(file);
  }
  using msu::embedded::Instance;
  auto instance = Instance::Create(root, "BENCH", "secret");
  instance->Attach("Alpha", data_file);
  msu::embedded::EmbeddedBackend backend(root);
  const std::string password = msu::DeriveServerPassword("secret");

  std::printf("login (Connect + ReadServerProperty):  %10.1f us\n", MeanMicroseconds(20, [&] {
                backend.Connect("BENCH", "VESTRA", password)->ReadServerProperty();
              }));
  std::printf("open and close one session:            %10.1f us\n",
              MeanMicroseconds(200, [&] { instance->OpenSession("Alpha"); }));

  std::vector<std::unique_ptr<msu::embedded::Session>> sessions;
  for (int i = 0; i < 200; ++i) sessions.push_back(instance->OpenSession("Alpha"));
  auto admin = backend.Connect("BENCH", "VESTRA", password);
  std::printf("ListProcesses with 200 live sessions:  %10.1f us\n",
              MeanMicroseconds(50, [&] { admin->ListProcesses(); }));
  std::printf("DetachDatabase refused (200 sessions): %10.1f us\n", MeanMicroseconds(20, [&] {
                try {
                  admin->DetachDatabase("Alpha", false);
                } catch (const std::exception&) {
                }
              }));
  volatile bool killed = false;
  const int checks = 10'000'000;
  const auto start = Clock::now();
  for (int i = 0; i < checks; ++i) killed = sessions[i % 200]->Killed();
  std::printf("Killed() check:                        %10.2f ns\n",
              std::chrono::duration<double, std::nano>(Clock::now() - start).count() / checks);
  (void)killed;

  sessions.clear();
  admin.reset();
  instance.reset();
  std::filesystem::remove_all(root);
  return 0;
}
