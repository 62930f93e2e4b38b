#pragma once
// One of the wizard's list editors: a list whose rows are the texts of some boxes,
// with Add, Update, Remove, Move Up and Move Down buttons; a click on a row puts
// its texts back into the boxes. The wizard has three (questions, features and
// testimonials) that differ only in their controls and messages.

#include <QIcon>
#include <QObject>
#include <QString>
#include <QVector>
#include <functional>

class QPushButton;
class QTreeWidget;
class QWidget;

namespace wizard {

// A box's text as the record holds it (line ends as CR LF), and back.
QString boxText(const QWidget *box);
void setBoxText(QWidget *box, const QString &recordText);

class ListEditor : public QObject {
public:
    struct Box {
        QWidget *box;
        // The message when the box is empty; it may name the first box's text.
        std::function<QString(const QString &first)> emptyMessage;
    };
    struct Buttons {
        QPushButton *add, *update, *remove, *up, *down;
    };

    // `boxes` in column order; `window` is the parent of the messages.
    ListEditor(QTreeWidget *list, QVector<Box> boxes, const Buttons &buttons, const QIcon &rowIcon,
               QWidget *window);

    void add();
    void update(); // the selected row takes the boxes' texts
    void remove();
    void load(); // the selected row's texts into the boxes
    void move(int by);

private:
    // The first empty box (spaces aside) stops Add and Update with its message.
    bool checkBoxes() const;
    QStringList texts() const;
    void clearBoxes();
    void updateButtons();

    QTreeWidget *m_list;
    QVector<Box> m_boxes;
    Buttons m_buttons;
    QIcon m_rowIcon;
    QWidget *m_window;
};

} // namespace wizard
