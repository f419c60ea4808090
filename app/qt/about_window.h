#pragma once

// The About window of the Help menu and the application's collection of them.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <memory>
#include <vector>

namespace tvk9 {

class TAboutForm final : public QDialog {
public:
    TAboutForm();

    // Centred on the screen, modal; returns when the window is closed.
    void ShowModal();

    QPushButton Button1;
    QLabel Label1;
    QLabel Label2;

private:
    void Button1Click();
};

// The About windows the application owns. Every request makes a new window; an earlier one
// stays hidden until the program ends.
class AboutForms {
public:
    TAboutForm& Create();
    TAboutForm* Current() const { return forms_.empty() ? nullptr : forms_.back().get(); }
    std::size_t Count() const { return forms_.size(); }

private:
    std::vector<std::unique_ptr<TAboutForm>> forms_;
};

} // namespace tvk9
