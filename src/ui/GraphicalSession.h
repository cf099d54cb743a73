#pragma once

#include <memory>

class QApplication;

namespace Platform {

// The graphical session of one run: the toolkit's application object, created only when a
// display can be reached, so a run without one ends with a clear answer instead of the
// toolkit aborting the process. argc and argv must outlive the session.
class GraphicalSession {
public:
    GraphicalSession(int& argc, char** argv);
    ~GraphicalSession();

    GraphicalSession(const GraphicalSession&) = delete;
    GraphicalSession& operator=(const GraphicalSession&) = delete;

    bool IsOpen() const;

private:
    std::unique_ptr<QApplication> application;
};

}  // namespace Platform
