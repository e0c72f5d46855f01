#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/download/engine/support/TestServerFixture.h"
#include "tools/testserver/TestCertificate.h"

namespace {

// wend-fetch refusing to start says why, in words the user can act on.
class FetchToolTest : public TestServerFixture {
 protected:
  // Runs wend-fetch URL SCRATCH out.bin; its exit code, with its stderr in `errors`.
  int fetch(const std::string& url, std::string& errors) {
    const std::string errorFile = scratch() / "stderr.txt";
    const std::string root = scratch() / "root";
    const std::string uid = std::to_string(::getuid());
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int fd = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(fd, 2);
      ::unsetenv("WEND_CA_FILE");
      ::setenv("WEND_ROOT", root.c_str(), 1);
      ::setenv("WEND_CONSOLE_UID", uid.c_str(), 1);
      const std::string folder = scratch().path();
      ::execl(WEND_FETCH_PROGRAM, WEND_FETCH_PROGRAM, url.c_str(), folder.c_str(), "out.bin",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    errors = wendtest::readFile(errorFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

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

}  // namespace
