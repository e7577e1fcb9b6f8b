#pragma once
// What the support windows need of the main window: the client area their
// child windows live in and its height. The main window (ui/) implements it
// and registers itself; this library cannot depend on it.

class QMdiArea;
class QWidget;

class MainFormAccess {
public:
    virtual ~MainFormAccess() = default;
    // Height of the client area in pixels.
    virtual int ClientHeight() const = 0;
    virtual QMdiArea* ClientArea() const = 0;

    // The registered main window, or nullptr while there is none.
    static MainFormAccess* Get();
    // The registered main window's own window (the one that holds the client
    // area), or nullptr while there is none.
    static QWidget* Window();
    static void Register(MainFormAccess* form);
    static void Unregister(MainFormAccess* form);

    // Shows a child window inside the main window's client area, or as a
    // window of its own when there is no main window. Returns the widget that
    // frames it (the sub-window, or the child itself).
    //
    // A window gets one frame for its life: showing it again shows that frame.
    // The frame follows its window: it hides when the window hides itself,
    // goes when the window is deleted, and takes the window's own size (its
    // sizeHint) when it is first shown and whenever it is restored from
    // maximised or minimised.
    static QWidget* ShowChild(QWidget* child);
    // The widget that frames a child window: its sub-window, or the window
    // itself.
    static QWidget* FrameOf(QWidget* child);
};
