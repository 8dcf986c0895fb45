#include "messaging/mail_script.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/recording_host.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

MailScriptJob Job(const std::string& scriptFile, const std::string& message) {
  return {scriptFile, "velkor", "STATION-PC", "seismo@example.org", "VELK", message};
}

// Runs the script to its end with the real shell, as the detached run would.
int RunNow(const std::string& path, std::string& error) {
  const int rc = std::system(("/bin/sh '" + path + "'").c_str());
  error = "exit " + std::to_string(rc);
  return rc;
}

const std::string kHeaders =
    "From: velkor@station-pc\nTo: seismo@example.org\nSubject: VELK\nMIME-Version: 1.0\n"
    "Content-Type: text/plain; charset=ISO-8859-1\nContent-Transfer-Encoding: 8bit\n\n";

TEST(MailScript, TextByteForByte) {
  EXPECT_EQ(MailScriptText(Job("/st/velkor.sh", "VELK Test...")),
            "#!/bin/sh\n{\n/usr/sbin/sendmail -t -oi\n} <<'VELKOR_MAIL_END'\n" + kHeaders +
                "VELK Test...\nVELKOR_MAIL_END\n");
}

// Only A-Z is lowered in the sender; an empty receiver keeps its line; values
// stay on their line; a subject outside ASCII is encoded.
TEST(MailScript, HeaderLines) {
  const struct { const char *program, *to, *id, *headers; } rows[] = {
      {"Velkor\xC4", "", "VELK", "\nFrom: velkor\xC4@station-pc\nTo: \nSubject: VELK\n"},
      {"velkor", "a@b.c\nBcc: other@d.e", "VELK\r\nX-Injected: 1",
       "\nTo: a@b.c Bcc: other@d.e\nSubject: VELK  X-Injected: 1\n"},
      {"velkor", "a@b.c", "\xC4" "BC", "\nSubject: =?ISO-8859-1?Q?=C4BC?=\n"}};
  for (const auto& r : rows) {
    MailScriptJob job = Job("/st/velkor.sh", "VELK x");
    job.ProgramName = r.program;
    job.EmailAddr = r.to;
    job.IDStation = r.id;
    EXPECT_NE(MailScriptText(job).find(r.headers), std::string::npos) << r.headers;
  }
  EXPECT_EQ(EncodedHeaderWord("VELK"), "VELK");
  EXPECT_EQ(EncodedHeaderWord("St\xE1n 1=?"), "=?ISO-8859-1?Q?St=E1n_1=3D=3F?=");
}

// A hostile message, delimiter lines included, passes through the real shell as plain text.
TEST(MailScript, MessageTextCannotRunCommands) {
  TempDir dir;
  const std::string message = "VELK \"quoted\" $(touch " + dir.Path("pwned1") + ") `touch " +
                              dir.Path("pwned2") + "` $HOME '\nEOF\nVELKOR_MAIL_END\nVELKOR_MAIL_END_1\n.\nlast";
  MailScriptJob job = Job(dir.Path("velkor.sh"), message);
  job.MailCommand = "cat > '" + dir.Path("mail.txt") + "'";
  EXPECT_EQ(RunMailScriptJob(job, RunNow), kCodeScriptRun);
  EXPECT_EQ(ReadFile(dir.Path("mail.txt")), kHeaders + message + "\n");
  EXPECT_FALSE(fs::exists(dir.Path("pwned1")));
  EXPECT_FALSE(fs::exists(dir.Path("pwned2")));
}

TEST(MailScript, CodesForRunRefusedAndUnwritableScriptAndTheNextScriptReplacesIt) {
  TempDir dir;
  auto refuse = [](const std::string&, std::string& e) {
    e = "no";
    return -1;
  };
  EXPECT_EQ(RunMailScriptJob(Job(dir.Path("velkor.sh"), "VELK a"), refuse), kCodeScriptRunError);
  EXPECT_TRUE(fs::exists(dir.Path("velkor.sh")));
  EXPECT_EQ(RunMailScriptJob(Job(dir.Path("missing/velkor.sh"), "VELK a"), RunNow),
            kCodeScriptWriteError);
  fs::create_directory(dir.Path("adir.sh"));  // a directory where the script should be
  EXPECT_EQ(RunMailScriptJob(Job(dir.Path("adir.sh"), "VELK a"), RunNow), kCodeScriptWriteError);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Dir()), fs::directory_iterator()), 2)
      << "a temporary script was left behind";
  // The next message's script replaces the one on disk.
  RunMailScriptJob(Job(dir.Path("velkor.sh"), "VELK second"), [](const std::string&, std::string&) { return 0; });
  EXPECT_EQ(ReadFile(dir.Path("velkor.sh")), MailScriptText(Job(dir.Path("velkor.sh"), "VELK second")));
}

// A fake sendmail in the test's directory: the mail it takes, its failure,
// its absence. The started thread waits for the real run and reports.
struct SendmailCase {
  const char* legend;
  const char* fake;  // script body; null: no sendmail at all
  int code;
  std::string logLine;
};

class Sendmail : public ::testing::TestWithParam<SendmailCase> {};

TEST_P(Sendmail, ExitStatusDecidesAndFailuresAreLogged) {
  const SendmailCase& c = GetParam();
  TempDir dir;
  const std::string sendmail = dir.Path("sendmail");
  if (c.fake) {
    WriteFile(sendmail, "#!/bin/sh\n" + std::string(c.fake) + "\n");
    fs::permissions(sendmail, fs::perms::owner_all);
  }
  const std::string command = "'" + sendmail + "' -t -oi";
  EXPECT_EQ(CheckMailCommand(sendmail + " -t -oi"),
            c.fake ? "" : "Err: Mail command not found: " + sendmail + ". No e-mail can be sent.");
  RecordingHost host;
  MailScriptJob job = Job(dir.Path("velkor.sh"), "VELK \xE1");
  job.MailCommand = "cd '" + dir.Dir() + "' && " + command;
  const uint64_t id = StartMailScriptThread(host, job, MailScriptRunner());
  EXPECT_EQ(host.WaitForPosts(1)[0], std::make_pair(c.code, id));
  EXPECT_EQ(host.LogLines(), c.logLine.empty() ? std::vector<std::string>{}
                                               : std::vector<std::string>{c.logLine});
  if (c.code == kCodeScriptRun) {
    EXPECT_EQ(ReadFile(dir.Path("mail.txt")), kHeaders + "VELK \xE1\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Fakes, Sendmail, ::testing::Values(
    SendmailCase{"mail_taken", "cat > mail.txt", kCodeScriptRun, ""},
    SendmailCase{"sendmail_fails", "cat > /dev/null; exit 75", kCodeScriptRunError,
                 "Err: Mail command failed, exit status 75."},
    SendmailCase{"sendmail_missing", nullptr, kCodeScriptRunError, "Err: Mail command failed, exit status 127."}),
    [](const auto& info) { return std::string(info.param.legend); });

}  // namespace
