#include "messaging/mail_script.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "../support/temp_dir.h"
#include "messaging_rig.h"

namespace {

namespace fs = std::filesystem;

MailScriptJob Job(const std::string& scriptFile, const std::string& message) {
  MailScriptJob job;
  job.ScriptFile = scriptFile;
  job.ProgramName = "velkor";
  job.ComputerName = "STATION-PC";
  job.EmailAddr = "seismo@example.org";
  job.IDStation = "VELK";
  job.Message = message;
  return job;
}

// Runs the script to its end with the real shell, as the detached run would.
bool RunNow(const std::string& path, std::string& error) {
  const int rc = std::system(("/bin/sh '" + path + "'").c_str());
  error = "exit " + std::to_string(rc);
  return rc == 0;
}

TEST(MailScript, TextByteForByte) {
  EXPECT_EQ(MailScriptText(Job("/st/velkor.sh", "VELK Test...")),
            "#!/bin/sh\n"
            "{\n"
            "/usr/sbin/sendmail -t -oi\n"
            "} <<'VELKOR_MAIL_END'\n"
            "From: velkor@station-pc\n"
            "To: seismo@example.org\n"
            "Subject: VELK\n"
            "\n"
            "VELK Test...\n"
            "VELKOR_MAIL_END\n");
}

TEST(MailScript, EmptyReceiverKeepsAnEmptyToLineAndOnlyAToZAreLowered) {
  MailScriptJob job = Job("/st/velkor.sh", "VELK x");
  job.EmailAddr = "";
  job.ProgramName = "Velkor\xC4";
  const std::string text = MailScriptText(job);
  EXPECT_NE(text.find("\nFrom: velkor\xC4@station-pc\nTo: \nSubject: VELK\n"), std::string::npos);
}

TEST(MailScript, HeaderValuesStayOnTheirLine) {
  MailScriptJob job = Job("/st/velkor.sh", "VELK x");
  job.EmailAddr = "a@b.c\nBcc: other@d.e";
  job.IDStation = "VELK\r\nX-Injected: 1";
  const std::string text = MailScriptText(job);
  EXPECT_NE(text.find("\nTo: a@b.c Bcc: other@d.e\nSubject: VELK  X-Injected: 1\n"), std::string::npos);
}

TEST(MailScript, DelimiterAvoidsEveryLineOfTheText) {
  EXPECT_EQ(HereDocDelimiter("a\nb"), "VELKOR_MAIL_END");
  EXPECT_EQ(HereDocDelimiter("VELKOR_MAIL_END\nVELKOR_MAIL_END_1\r\n"), "VELKOR_MAIL_END_2");
  EXPECT_EQ(HereDocDelimiter("x VELKOR_MAIL_END"), "VELKOR_MAIL_END");
}

// A hostile message passes through the real shell as plain text.
TEST(MailScript, MessageTextCannotRunCommands) {
  TempDir dir;
  const std::string message = "VELK \"quoted\" $(touch " + dir.Path("pwned1") + ") `touch " +
                              dir.Path("pwned2") + "` $HOME '\nEOF\nVELKOR_MAIL_END\n.\nlast";
  MailScriptJob job = Job(dir.Path("velkor.sh"), message);
  job.MailCommand = "cat > '" + dir.Path("mail.txt") + "'";
  EXPECT_EQ(RunMailScriptJob(job, RunNow), kCodeScriptRun);
  EXPECT_EQ(ReadFile(dir.Path("mail.txt")),
            "From: velkor@station-pc\nTo: seismo@example.org\nSubject: VELK\n\n" + message + "\n");
  EXPECT_FALSE(fs::exists(dir.Path("pwned1")));
  EXPECT_FALSE(fs::exists(dir.Path("pwned2")));
}

TEST(MailScript, CodesForRunRefusedAndUnwritableScript) {
  TempDir dir;
  auto refuse = [](const std::string&, std::string& e) {
    e = "no";
    return false;
  };
  EXPECT_EQ(RunMailScriptJob(Job(dir.Path("velkor.sh"), "VELK a"), refuse), kCodeScriptRunError);
  EXPECT_TRUE(fs::exists(dir.Path("velkor.sh")));
  EXPECT_EQ(RunMailScriptJob(Job(dir.Path("missing/velkor.sh"), "VELK a"), RunNow),
            kCodeScriptWriteError);
  fs::create_directory(dir.Path("adir.sh"));  // a directory where the script should be
  EXPECT_EQ(RunMailScriptJob(Job(dir.Path("adir.sh"), "VELK a"), RunNow), kCodeScriptWriteError);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Dir()), fs::directory_iterator()), 2)
      << "a temporary script was left behind";
}

TEST(MailScript, TheSecondMessageLeavesItsScriptOnDisk) {
  TempDir dir;
  auto accept = [](const std::string&, std::string&) { return true; };
  RunMailScriptJob(Job(dir.Path("velkor.sh"), "VELK first"), accept);
  RunMailScriptJob(Job(dir.Path("velkor.sh"), "VELK second"), accept);
  EXPECT_EQ(ReadFile(dir.Path("velkor.sh")), MailScriptText(Job(dir.Path("velkor.sh"), "VELK second")));
}

// Waits for a file that a detached shell writes (bounded, not timed).
std::string AwaitFile(const std::string& path) {
  for (int i = 0; i < 1000 && !fs::exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return ReadFile(path);
}

// Two messages in the same moment: the second script replaces the file right
// after the first run started, and the first run still sends the first mail.
TEST(MailScript, ScriptReplacedAfterTheStartDoesNotChangeTheRun) {
  TempDir dir;
  auto job = [&](const std::string& message, const std::string& out) {
    MailScriptJob j = Job(dir.Path("velkor.sh"), message);
    j.MailCommand = "cat > '" + dir.Path(out + ".tmp") + "' && mv '" + dir.Path(out + ".tmp") + "' '" +
                    dir.Path(out) + "'";
    return j;
  };
  const ScriptRunner detached = DetachedScriptRunner();
  ASSERT_EQ(RunMailScriptJob(job("VELK first", "first.txt"), detached), kCodeScriptRun);
  ASSERT_EQ(RunMailScriptJob(job("VELK second", "second.txt"), detached), kCodeScriptRun);
  EXPECT_EQ(AwaitFile(dir.Path("first.txt")),
            "From: velkor@station-pc\nTo: seismo@example.org\nSubject: VELK\n\nVELK first\n");
  EXPECT_EQ(AwaitFile(dir.Path("second.txt")),
            "From: velkor@station-pc\nTo: seismo@example.org\nSubject: VELK\n\nVELK second\n");
}

// The thread, the real detached run and a fake mail command: code 19 comes
// back at once and the mail reaches the command's standard input.
TEST(MailScript, StartedThreadRunsTheScriptDetached) {
  TempDir dir;
  RecordingHost host;
  MailScriptJob job = Job(dir.Path("velkor.sh"), "VELK detached");
  job.MailCommand = "cat > '" + dir.Path("mail.tmp") + "' && mv '" + dir.Path("mail.tmp") + "' '" +
                    dir.Path("mail.txt") + "'";
  const uint64_t id = StartMailScriptThread(host, job, DetachedScriptRunner());
  const auto posts = host.WaitForPosts(1);
  EXPECT_EQ(posts[0], std::make_pair(kCodeScriptRun, id));
  EXPECT_EQ(AwaitFile(dir.Path("mail.txt")),
            "From: velkor@station-pc\nTo: seismo@example.org\nSubject: VELK\n\nVELK detached\n");
}

}  // namespace
