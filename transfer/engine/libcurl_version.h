#pragma once

#include <QString>

// The version of the libcurl this program runs with: "7.88.1".
QString libcurlVersion();
