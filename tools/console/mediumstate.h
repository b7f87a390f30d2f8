#ifndef MEDIUMSTATE_H
#define MEDIUMSTATE_H

// Where the medium stands, as the session tells it.
enum class MediumState {
    Closed,
    Opening,
    Open,
    // The device went away (a USB hot-plug notice); the session waits for it.
    Unplugged,
    // It came back and was opened again.
    Reopened,
    // It could not be opened.
    Failed,
};

#endif // MEDIUMSTATE_H
