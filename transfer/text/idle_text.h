#pragma once

#include <QString>

// What keeps a login open and what IDLETEST finds, in the operator's words.
// Pure, so each number and sentence is tested by a table.

// The keepalive interval until KEEPALIVE says otherwise. NATs and firewalls
// commonly drop an idle flow after 30 s to 5 minutes and servers often end an
// idle login after 300 s; a NOOP a minute stays inside the common limits
// while costing a line of log a minute.
inline constexpr int DefaultKeepaliveSeconds = 60;
// IDLETEST's longest wait unless given another.
inline constexpr int DefaultIdleTestMaxSeconds = 600;
// IDLETEST's first wait; each wait after it is twice the one before.
inline constexpr int IdleTestFirstWaitSeconds = 5;

// What KEEPALIVE answers: the interval now in force (0: off), just set
// (`changed`) or asked for.
QString keepaliveText(int seconds, bool changed);

// The wait after `previous` (0 before the first): `first`, then twice the
// one before, never past `max`; 0 once the wait of `max` has been survived.
int nextIdleWait(int previous, int first, int max);

// What ended a login that had been left idle.
enum class IdleCut {
    None,    // nothing did: the login survived every wait
    Reply,   // the server said so (421 ...)
    Closed,  // the server closed the connection without a word
    Reset,   // a connection reset
    Silence, // no reply within the time-out
};

// What IDLETEST learned: the longest idle survived, the wait after which the
// login was cut (0: none), by what, and the largest wait it tried.
struct IdleFinding
{
    int survived = 0;
    int cutAfter = 0;
    IdleCut cut = IdleCut::None;
    QString reply;          // the server's words, for IdleCut::Reply
    int timeoutSeconds = 0; // the wait for a reply, for IdleCut::Silence
    int max = DefaultIdleTestMaxSeconds;
};

// The keepalive interval that keeps a login open under what was found:
// three quarters of the longest idle survived (half the first wait when
// none was), in fives from 10 s on, at least 1 s.
int recommendedKeepalive(const IdleFinding &finding);

// "survived 20 s idle; cut after 40 s idle by a connection reset (no reply
// from the server): something on the path drops idle connections;
// KEEPALIVE 15 keeps logins open".
QString idleFindingText(const IdleFinding &finding);

// The finding so far, when the operator stopped the test.
QString idleStoppedText(const IdleFinding &finding);

// "idle 20 s of 40 s, up to 600 s".
QString idleProgressText(int idle, int wait, int max);
