#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/download/engine/support/TestServerFixture.h"
#include "tests/support/WaitUntil.h"
#include "tools/testserver/TestCertificate.h"

namespace {

class FetchToolTest : public TestServerFixture {
 protected:
  std::string errorFile() const { return scratch() / "stderr.txt"; }

  // Starts wend-fetch URL SCRATCH out.bin OPTION, its stderr going to errorFile().
  pid_t start(const std::string& url, const char* option = nullptr) {
    const std::string root = scratch() / "root";
    const std::string uid = std::to_string(::getuid());
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int fd = ::open(errorFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(fd, 2);
      ::unsetenv("WEND_CA_FILE");
      ::setenv("WEND_ROOT", root.c_str(), 1);
      ::setenv("WEND_CONSOLE_UID", uid.c_str(), 1);
      const std::string folder = scratch().path();
      ::execl(WEND_FETCH_PROGRAM, WEND_FETCH_PROGRAM, url.c_str(), folder.c_str(), "out.bin",
              option, static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid;
  }

  static int exitCode(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Runs wend-fetch to its end; its exit code, with its stderr in `errors`.
  int fetch(const std::string& url, std::string& errors, const char* option = nullptr) {
    const int code = exitCode(start(url, option));
    errors = wendtest::readFile(errorFile());
    return code;
  }
};

// wend-fetch refusing to start says why, in words the user can act on.

TEST_F(FetchToolTest, ATakenTargetAndAnUntrustedCertificateAreNamed) {
  server().addGenerated("/file.bin", 1000, 1);
  writeIn(scratch(), "out.bin", "mine");
  std::string errors;
  EXPECT_EQ(fetch(url("/file.bin"), errors), 1);
  EXPECT_NE(errors.find("out.bin is already there"), std::string::npos) << errors;
  std::remove((scratch() / "out.bin").c_str());

  const std::string certificate = scratch() / "server.pem";
  const std::string key = scratch() / "server.key";
  ASSERT_TRUE(testserver::writeTestCertificate(certificate, key));
  testserver::TestServerSettings settings;
  settings.tlsCertificateFile = certificate;
  settings.tlsKeyFile = key;
  testserver::TestServer tls(settings);
  ASSERT_TRUE(tls.start());
  tls.addGenerated("/file.bin", 1000, 1);
  EXPECT_EQ(fetch(tls.url("/file.bin"), errors), 1);
  EXPECT_NE(errors.find("certificate is not trusted"), std::string::npos) << errors;
  EXPECT_NE(errors.find("WEND_CA_FILE"), std::string::npos) << errors;
  tls.stop();
}

TEST_F(FetchToolTest, TheRateAfterAResumeCountsOnlyThisRunsBytes) {
  server().addGenerated("/file.bin", 64 << 20, 1);
  std::string errors;
  ASSERT_EQ(fetch(url("/file.bin"), errors, "--stop-at=50"), 3) << errors;
  // 32 MiB are on disk and the rest comes at 64 KiB/s a connection (under 1 MB/s with every
  // thread): a first rate that counted the bytes on disk would show several MB/s.
  testserver::Fault trickle;
  trickle.kind = testserver::FaultKind::SlowBody;
  trickle.bytes = 64 << 10;
  server().addRule({"/file.bin", 1, 0, trickle});
  const pid_t pid = start(url("/file.bin"), "--progress");
  std::string shown;
  const bool printed = wendtest::waitUntil([&] {
    shown = wendtest::readFile(errorFile());
    return shown.find("MB/s") != std::string::npos;
  });
  ::kill(pid, SIGKILL);
  exitCode(pid);
  ASSERT_TRUE(printed) << shown;
  const std::string before = shown.substr(0, shown.find("MB/s"));
  const size_t end = before.find_last_not_of(' ');
  const size_t begin = before.find_last_of(' ', end) + 1;
  EXPECT_LT(std::stod(before.substr(begin, end + 1 - begin)), 2.0) << shown;
}

}  // namespace
