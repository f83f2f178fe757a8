// The bench launcher's window module: the real one with the question shown and answered No at once
// (question.h), so that a start that asks can be timed without a person.
#include "question.h"
#include "update/updateoffer.h"

namespace {

const bool installed = [] {
    launcher::setQuestionHandler(showQuestionBriefly);
    return true;
}();

} // namespace
