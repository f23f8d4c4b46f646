#include "python_pack.h"

#include <pybind11/pybind11.h>

#include <optional>
#include <utility>

#include "python_errors.h"

namespace py = pybind11;

namespace tarnvfs_python {

PackResult Pack(tarnwad::pack::PackRequest request) {
    tarnwad::pack::PackJob job(std::move(request));
    std::optional<tarnwad::pack::PackMessage> refusal;
    tarnwad::pack::PackOutcome outcome;
    {
        py::gil_scoped_release released;
        refusal = job.Prepare();
        if (!refusal && job.problems.empty()) {
            outcome = job.Write();
        }
    }
    if (refusal) {
        Raise(Exceptions().packError, refusal->subject + ": " + refusal->text);
    }
    if (!job.problems.empty()) {
        std::string message =
            job.request.output + ": not written: these names cannot be packed safely:";
        for (const std::string& problem : job.problems) {
            message += "\n" + problem;
        }
        Raise(Exceptions().packError, message);
    }
    if (outcome.status != tarnwad::pack::PackOutcome::kWritten) {
        std::string message;
        for (const tarnwad::pack::PackMessage& failure : outcome.failures) {
            message += (message.empty() ? "" : "; ") + failure.subject + ": " + failure.text;
        }
        Raise(Exceptions().packError, message);
    }
    PackResult result;
    result.files = static_cast<uint32_t>(job.files.size());
    result.bytesPacked = outcome.bytesPacked;
    result.archiveSize = outcome.archiveSize;
    result.warnings = job.warnings;
    result.emptyDirectories = job.emptyDirectories;
    return result;
}

}  // namespace tarnvfs_python
