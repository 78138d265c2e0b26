#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

// Where the calls that touch the disk run. A folder on a share whose server
// does not answer can keep a call waiting for a minute, or for ever; the
// platform hands such calls to threads of their own and lets the window
// thread wait with its events, giving up when the call has taken too long.
// Without a runner, calls run in place.
class FileCallRunner
{
public:
    // One call, which keeps its own result.
    class Call
    {
    public:
        virtual ~Call() = default;
        virtual void run() = 0;
    };

    template <typename T>
    class ResultCall : public Call
    {
    public:
        template <typename Work>
        explicit ResultCall(Work work) : m_work(std::move(work))
        {
        }
        void run() override { m_result = m_work(); }
        const std::optional<T> &result() const { return m_result; }

    private:
        std::function<T()> m_work;
        std::optional<T> m_result;
    };

    virtual ~FileCallRunner() = default;

    // Runs the call, or joins the call of the same key still running from
    // an earlier request (the key names the operation and its path, so
    // both are of one type). Returns the call whose result to read, or
    // nullptr when it did not end in time or the wait was given up.
    virtual std::shared_ptr<Call> run(const QString &key, std::shared_ptr<Call> call) = 0;
    // Starts the call without waiting for it, so that a run() of the same
    // key soon after finds it under way (several questions asked side by
    // side cost the time of the slowest, not of them all). In place, nothing
    // is started.
    virtual void start(const QString &, std::shared_ptr<Call>) {}

    // Runs the call where the runner runs it; the result, or nullopt when
    // the call did not end in time.
    template <typename T, typename Work>
    static std::optional<T> ask(FileCallRunner *runner, const QString &key, Work work)
    {
        auto call = std::make_shared<ResultCall<T>>(std::move(work));
        if (!runner) {
            call->run();
            return call->result();
        }
        const auto ran = std::dynamic_pointer_cast<ResultCall<T>>(runner->run(key, call));
        return ran ? ran->result() : std::nullopt;
    }
};
