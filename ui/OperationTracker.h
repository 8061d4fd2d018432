#pragma once

// Which card operation the main window waits for. The reader manager handles
// the window's requests one at a time, in the order they were made, and ends
// each with exactly one finish signal; so the n-th finish belongs to the n-th
// request, and a finish of an operation the window left is told apart from
// the one it waits for.
class OperationTracker
{
public:
    enum class Finish {
        Other,       // an operation the window no longer waits for
        Interrupted, // the awaited one, after a card removal interrupted it
        Awaited,     // the awaited one, run undisturbed
    };

    // A request goes out: the window waits for it and is busy.
    void requested();
    // The next finish signal came in.
    Finish finished();
    // A card removal interrupted the awaited operation: the window is no
    // longer busy, but the operation's finish still gives its page back.
    void interrupted();
    // Cancel: the page is left and no later finish is awaited.
    void cancelled();

    // An operation runs that may be interrupted and keeps the window open.
    bool busy() const;
    // The window waits for a finish: no other operation may start.
    bool waiting() const;

private:
    int requests = 0;
    int finishes = 0;
    int awaited = 0;
    bool running = false;
};
