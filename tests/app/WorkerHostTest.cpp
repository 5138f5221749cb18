// The Qt side of a command's background work, under a worker that posts and asks: the
// progress window never comes up over an open box, what a posted item raises goes to the
// default error box, and the application's exit stops the work instead of leaving it waiting
// for an answer.
#include <gtest/gtest.h>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "actions/Worker.h"
#include "app/DownloadProgressForm.h"
#include "app/QtWorkerHost.h"
#include "platform/Exception.h"
#include "tests/app/AppTestSupport.h"

namespace varnel::test {
namespace {

class WorkerHostTest : public ::testing::Test {
 protected:
  QWidget mainWindow;
  TForm2 form{&mainWindow};
  TRecordingDialogs dialogs;
  TErrorGuard guard{dialogs, "Varneltools"};
  TQtWorkerHost host{mainWindow, form, dialogs, guard};
  TJournal journal;
  TRecorderWindow window{journal};
  TWorker worker{host, dialogs, window};
};

TEST_F(WorkerHostTest, TheProgressWindowWaitsWhileABoxIsOpenAndComesWhenItCloses) {
  // Each box stays open for twice the time after which the progress window comes.
  std::vector<bool> shownOverABox;
  dialogs.whileOpen = [&] {
    shownOverABox.push_back(
        QTest::qWaitFor([&] { return form.isVisible(); }, 2 * TQtWorkerHost::kShowAfterMs));
  };
  QTimer cancelOnceShown;
  cancelOnceShown.callOnTimeout([&] {
    if (form.isVisible()) form.BitBtn1->click();
  });
  cancelOnceShown.start(10);
  worker.Run("Damaged", [](TJob& job) {
    job.Post([] { throw EStringListError(3); });
    job.Prompt().FileFailureDlg("b.txt failed", mbAbort | mbRetry | mbIgnore, 8, "");
    while (!job.CancelSignal().Cancelled())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  EXPECT_EQ(shownOverABox, (std::vector<bool>{false, false}));
  ASSERT_EQ(dialogs.errors.size(), 1u);
  EXPECT_EQ(dialogs.errors[0].second, "List index out of bounds (3)");
  EXPECT_EQ(dialogs.prompts, (std::vector<std::string>{"b.txt failed"}));
}

TEST_F(WorkerHostTest, TheApplicationsExitStopsTheWorkInsteadOfWaitingForIt) {
  THangWatch watch(std::chrono::seconds(20));
  std::vector<TModalResult> answers;
  bool cancelled = false;
  QTimer::singleShot(0, [&] {
    worker.Run("Damaged", [&](TJob& job) {
      job.Post([] { QCoreApplication::exit(0); });
      answers.push_back(
          job.Prompt().FileFailureDlg("b.txt failed", mbAbort | mbRetry | mbIgnore, 8, ""));
      cancelled = job.CancelSignal().Cancelled();
    });
  });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_TRUE(dialogs.prompts.empty()) << "a question was shown after the exit";
  EXPECT_EQ(answers, (std::vector<TModalResult>{mrAbort}));
  EXPECT_TRUE(cancelled);
}

}  // namespace
}  // namespace varnel::test
