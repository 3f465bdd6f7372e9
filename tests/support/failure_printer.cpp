// A result printer that forwards everything to GoogleTest's own, but failures.
#include "failure_printer.h"

#include <stdio.h>

#include <gtest/gtest.h>

namespace {

using testing::TestEventListener;
using testing::TestInfo;
using testing::TestPartResult;
using testing::TestSuite;
using testing::UnitTest;

class FailurePrinter : public TestEventListener {
public:
    explicit FailurePrinter(TestEventListener *printer) : printer_(printer) {}
    ~FailurePrinter() override { delete printer_; }

    void OnTestPartResult(const TestPartResult &result) override
    {
        if (result.type() == TestPartResult::kSuccess)
            return;
        printf("%s:%d: %s\n%s\n", result.file_name() ? result.file_name() : "unknown file", result.line_number(),
               result.type() == TestPartResult::kSkip ? "Skipped" : "Failure", result.message());
        fflush(stdout);
    }

    void OnTestProgramStart(const UnitTest &test) override { printer_->OnTestProgramStart(test); }
    void OnTestIterationStart(const UnitTest &test, int iteration) override
    {
        printer_->OnTestIterationStart(test, iteration);
    }
    void OnEnvironmentsSetUpStart(const UnitTest &test) override { printer_->OnEnvironmentsSetUpStart(test); }
    void OnEnvironmentsSetUpEnd(const UnitTest &test) override { printer_->OnEnvironmentsSetUpEnd(test); }
    void OnTestSuiteStart(const TestSuite &suite) override { printer_->OnTestSuiteStart(suite); }
    void OnTestStart(const TestInfo &info) override { printer_->OnTestStart(info); }
    void OnTestDisabled(const TestInfo &info) override { printer_->OnTestDisabled(info); }
    void OnTestEnd(const TestInfo &info) override { printer_->OnTestEnd(info); }
    void OnTestSuiteEnd(const TestSuite &suite) override { printer_->OnTestSuiteEnd(suite); }
    void OnEnvironmentsTearDownStart(const UnitTest &test) override { printer_->OnEnvironmentsTearDownStart(test); }
    void OnEnvironmentsTearDownEnd(const UnitTest &test) override { printer_->OnEnvironmentsTearDownEnd(test); }
    void OnTestIterationEnd(const UnitTest &test, int iteration) override
    {
        printer_->OnTestIterationEnd(test, iteration);
    }
    void OnTestProgramEnd(const UnitTest &test) override { printer_->OnTestProgramEnd(test); }

private:
    TestEventListener *printer_;
};

}  // namespace

void PrintFailuresWithoutDebugOutput()
{
    testing::TestEventListeners &listeners = UnitTest::GetInstance()->listeners();
    TestEventListener *printer = listeners.Release(listeners.default_result_printer());
    if (printer != nullptr)
        listeners.Append(new FailurePrinter(printer));
}
