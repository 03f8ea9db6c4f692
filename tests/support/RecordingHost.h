// A command host that records what a command showed and answers its questions as the test scripted.
#pragma once

#include "core/CommandHost.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace twinspotter::test {

class RecordingHost : public CommandHost
{
public:
    bool tickDate = true;
    bool tickSize = true;
    bool tickContent = false;
    std::vector<Progress> contentProgress; ///< the content comparison's reports
    std::deque<bool> answers;              ///< answers to confirm(), in order; No when none is left
    std::vector<std::string> progress;     ///< the running counts, as decimal texts
    std::vector<Phase> phases;
    std::vector<std::string> questions;
    std::vector<std::string> messages;
    std::vector<std::string> events; ///< the messages and reports of a command, in order
    std::vector<KeptFile> kept;      ///< every file a removal reported as left where it is
    int serviced = 0;
    /// Runs at every event-servicing point, as a click in the window would.
    std::function<void()> onService;

    void serviceEvents() override
    {
        ++serviced;
        if (onService)
            onService();
    }
    void showProgress(const Progress& report) override
    {
        if (report.begins)
            phases.push_back(report.phase);
        else if (report.phase == Phase::ComparingContents)
            contentProgress.push_back(report);
        else
            progress.push_back(std::to_string(report.count));
    }
    SearchCriteria criteria() const override { return {tickDate, tickSize, tickContent}; }
    bool confirm(std::string_view question) override
    {
        questions.emplace_back(question);
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void inform(std::string_view message) override
    {
        messages.emplace_back(message);
        events.push_back("inform:" + std::string(message));
    }
    void reportKept(const std::vector<KeptFile>& files) override
    {
        kept.insert(kept.end(), files.begin(), files.end());
        events.push_back("kept:" + std::to_string(files.size()));
    }
};

} // namespace twinspotter::test
