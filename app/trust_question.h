#pragma once

#include <QString>

struct TrustQuestion;

// What the console asks the operator when the transfer component cannot go on
// without the operator's trust: the question, and the details to judge it by
// (empty when the question says it all).
QString trustQuestionText(const TrustQuestion &question);
QString trustQuestionDetails(const TrustQuestion &question);
