#pragma once
// The life cycle every window of the program shares: exactly one instance per
// window, created on first use, loaded (Form_Load) at most once, shown
// modeless, hidden and shown again without reloading, destroyed only when the
// program ends.

#include <QWidget>

class Form : public QWidget {
    Q_OBJECT

public:
    // `name` is the design name (objectName), `caption` the design title,
    // the client size is given in twips.
    Form(const QString &name, const QString &caption, int clientWidthTwips,
         int clientHeightTwips);

    // Runs Form_Load the first time it is called; does nothing afterwards.
    // Showing the window and touching its controls from outside go through it.
    void ensureLoaded();
    bool isLoaded() const { return m_loaded; }

    // Loads the window if needed and shows it, modeless.
    void showForm();

    // A control of this window by its design name, loading the window first
    // (also one that sits in a pane, as the main window's bill does).
    template <typename T> T *control(const QString &name)
    {
        ensureLoaded();
        return findChild<T *>(name);
    }

protected:
    virtual void Form_Load() = 0;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    bool m_loaded = false;
};

// A window whose controls keep their proportions when it is resized: the
// welcome window and the order sheets. ResizeInit records the design layout at
// load; ResizeForm rescales every control from that record at each resize.
class ProportionalForm : public Form {
    Q_OBJECT

public:
    using Form::Form;

    void ResizeInit();
    void ResizeForm();

    int baseClientWidth() const { return m_baseWidth; }
    int baseClientHeight() const { return m_baseHeight; }

protected:
    void resizeEvent(QResizeEvent *event) override;  // Form_Resize

private:
    int m_baseWidth = 0;   // twips, 0 until ResizeInit ran
    int m_baseHeight = 0;
};
