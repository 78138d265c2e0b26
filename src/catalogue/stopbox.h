#pragma once

#include <QWidget>

#include <functional>

struct CatalogueParts;
class QLabel;
class QProgressBar;
class QPushButton;
struct ProgramState;

// The stop box shown while the thumbnails load: the file being read, a
// blinking "処理中です・・・", a progress bar and the button "中止". While it
// is open the main window is disabled; the button asks the engine to stop
// after the file in hand.
class StopBox : public QWidget
{
    Q_OBJECT

public:
    explicit StopBox(const CatalogueParts &parts);
    ~StopBox() override;

    // The box's load handling: placement, disabling the main window, top-most.
    void Load();
    // Shown, placed and top-most while the folder is still being listed,
    // before the load: the main window stays enabled, so that another
    // folder can be chosen instead.
    void ShowWhileListing();
    // Closes the box (a closed box stays closed) and enables the main window;
    // destroying a loaded box closes it too.
    void Unload();
    bool isLoaded() const { return m_loaded; }

    QLabel *fileLabel = nullptr;
    QLabel *workingLabel = nullptr;
    QPushButton *stopButton = nullptr;
    QProgressBar *progressBar = nullptr;

    // Stop button handler.
    void StopPressed();

    // Sets the progress bar's value; the bar is painted with the other
    // widgets when the events next run, not at once as the bar itself would.
    void SetProgress(int value);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Place();

    const CatalogueParts &m_parts;
    ProgramState &m_state;
    bool m_loaded = false;
    // Shown while the folder is listed, before the load.
    bool m_listing = false;
    bool m_stopping = false;
};
