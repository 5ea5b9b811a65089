#include "editor/Editor.h"

#include "editor/ColorDialogs.h"
#include "editor/ColorText.h"
#include "editor/EditorFile.h"
#include "editor/LetterColoring.h"
#include "settings/CommaText.h"
#include "settings/Defaults.h"
#include "settings/LanguagePack.h"
#include "settings/NcText.h"
#include "settings/Option.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextBlock>
#include <QToolBar>
#include <QToolButton>

namespace
{
const int FontSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36};
// Pack lines of the editor's section: a new document's name, and the refused save.
constexpr int UntitledLine = 14;
constexpr int UnencodableLine = 15;

QRect workArea()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}
} // namespace

TEditor::TEditor(TOption *option, TColorDialogs *colors, QWidget *parent)
    : QMainWindow(parent), m_option(option), m_colors(colors)
{
    setAttribute(Qt::WA_DeleteOnClose);
    NFile = menuBar()->addMenu(QString());
    FNew = NFile->addAction(QString(), this, &TEditor::FNewClick);
    FOpen = NFile->addAction(QString(), this, &TEditor::FOpenClick);
    FSave1 = NFile->addAction(QString(), this, [this] { FSave1Click(); });
    FSave2 = NFile->addAction(QString(), this, [this] { FSave2Click(); });
    NFile->addSeparator();
    FExit = NFile->addAction(QString(), this, &QWidget::close);
    FNew->setShortcut(QKeySequence::New);
    FOpen->setShortcut(QKeySequence::Open);
    FSave1->setShortcut(QKeySequence::Save);
    NColor = menuBar()->addAction(QString(), this, &TEditor::NColorClick);

    auto *bar = addToolBar(QStringLiteral("font"));
    bar->setMovable(false);
    FontComboBox = new QComboBox(bar);
    FontComboBox->setEditable(true);
    FontComboBox->setInsertPolicy(QComboBox::NoInsert);
    for (int size : FontSizes)
        FontComboBox->addItem(QString::number(size));
    FontComboBox->setCurrentText(QStringLiteral("12"));
    FontComboBox->setValidator(new QIntValidator(1, 200, FontComboBox));
    bar->addWidget(FontComboBox);
    auto styleButton = [&](const QString &text, void (QFont::*set)(bool)) {
        auto *b = new QToolButton(bar);
        b->setText(text);
        b->setCheckable(true);
        QFont f = b->font();
        (f.*set)(true);
        b->setFont(f);
        bar->addWidget(b);
        connect(b, &QToolButton::toggled, this, [this] {
            applyFont();
            RichEdit1->setFocus();
        });
        return b;
    };
    FontStyle1 = styleButton(QStringLiteral("B"), &QFont::setBold);
    FontStyle2 = styleButton(QStringLiteral("I"), &QFont::setItalic);
    FontStyle3 = styleButton(QStringLiteral("U"), &QFont::setUnderline);
    connect(FontComboBox, QOverload<int>::of(&QComboBox::activated), this,
            &TEditor::FontComboBoxSelect);
    connect(FontComboBox->lineEdit(), &QLineEdit::returnPressed, this,
            &TEditor::FontComboBoxSelect);

    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->installEventFilter(this);
    // The letter colours are chosen for a white page, whatever the desktop's theme.
    QPalette page = RichEdit1->palette();
    page.setColor(QPalette::Base, Qt::white);
    page.setColor(QPalette::Text, Qt::black);
    RichEdit1->setPalette(page);
    // Tests find the controls by these names.
    NFile->setObjectName(QStringLiteral("NFile"));
    FNew->setObjectName(QStringLiteral("FNew"));
    FOpen->setObjectName(QStringLiteral("FOpen"));
    FSave1->setObjectName(QStringLiteral("FSave1"));
    FSave2->setObjectName(QStringLiteral("FSave2"));
    FExit->setObjectName(QStringLiteral("FExit"));
    NColor->setObjectName(QStringLiteral("NColor"));
    FontComboBox->setObjectName(QStringLiteral("FontComboBox"));
    FontStyle1->setObjectName(QStringLiteral("FontStyle1"));
    FontStyle2->setObjectName(QStringLiteral("FontStyle2"));
    FontStyle3->setObjectName(QStringLiteral("FontStyle3"));
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    setCentralWidget(RichEdit1);
    m_highlighter = new LetterHighlighter(RichEdit1->document());
    connect(RichEdit1->document(), &QTextDocument::modificationChanged, this, [this](bool changed) {
        if (!m_loading)
            Save = changed;
    });

    ColorList = ColorText::defaultLetterColors();
    m_sizeText = getWindowsSizeDefault();
    setLanguage(LanguagePack::builtIn(LanguagePack::Editor));
    setExtList({QStringLiteral("*.*")});
    askOpenName = [this] {
        QFileDialog d(this, QString(), fileDialogStart());
        d.setAcceptMode(QFileDialog::AcceptOpen);
        d.setFileMode(QFileDialog::ExistingFile);
        d.setNameFilters(EditorFile::qtNameFilters(m_patterns));
        d.selectNameFilter(EditorFile::qtNameFilters(m_patterns).value(SelectIndex));
        return d.exec() == QDialog::Accepted ? d.selectedFiles().value(0) : QString();
    };
    askSaveName = [this] {
        QFileDialog d(this, QString(), fileDialogStart());
        d.setAcceptMode(QFileDialog::AcceptSave);
        d.setNameFilters(EditorFile::qtNameFilters(m_patterns));
        d.selectNameFilter(EditorFile::qtNameFilters(m_patterns).value(SelectIndex));
        const QString ext = SelectExt.section(u'.', -1);
        if (!ext.isEmpty() && !ext.contains(u'*') && !ext.contains(u'?'))
            d.setDefaultSuffix(ext);
        return d.exec() == QDialog::Accepted ? d.selectedFiles().value(0) : QString();
    };
    askQuestion = [this](const QString &text) {
        return QMessageBox::warning(this, windowTitle(), text,
                                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                    QMessageBox::Yes);
    };
}

TEditor::~TEditor() = default;

QString TEditor::fileDialogStart() const
{
    return SelectPath;
}

void TEditor::setPathExt(const QString &folder, const QString &pattern, int index)
{
    SelectPath = folder;
    SelectExt = pattern;
    SelectIndex = index;
}

void TEditor::setExtList(const QStringList &patterns)
{
    m_patterns = patterns;
    m_filter = EditorFile::dialogFilter(patterns);
}

void TEditor::setLanguage(const QStringList &lines)
{
    const auto line = [&](int i) { return LanguagePack::caption(lines, LanguagePack::Editor, i); };
    language = lines;
    NFile->setTitle(line(1) + QStringLiteral("(&F)"));
    FNew->setText(line(2) + QStringLiteral("(&N)"));
    FOpen->setText(line(3) + QStringLiteral("(&O)..."));
    FSave1->setText(line(4) + QStringLiteral("(&S)"));
    FSave2->setText(line(5) + QStringLiteral("(&A)..."));
    FExit->setText(line(6) + QStringLiteral("(&X)"));
    NColor->setText(line(7) + QStringLiteral("(&C)"));
    updateTitle();
}

void TEditor::updateTitle()
{
    const QString suffix = LanguagePack::caption(language, LanguagePack::Editor, 0);
    setWindowTitle(FileName.isEmpty() ? suffix
                                      : QDir::toNativeSeparators(FileName) + u'-' + suffix);
}

void TEditor::setEditorList(const QStringList &list)
{
    FontComboBox->setCurrentText(list.value(0, QStringLiteral("12")));
    const QStringList colors = CommaText::read(list.value(2));
    ColorList = colors.size() >= ColorText::LetterCount ? colors.mid(0, ColorText::LetterCount)
                                                        : ColorText::defaultLetterColors();
    bool ok = false;
    int code = list.value(1).toInt(&ok);
    if (!ok)
        code = 7;
    bool bold, italic, underline;
    EditorFile::styleFromCode(code, &bold, &italic, &underline);
    const QSignalBlocker b1(FontStyle1), b2(FontStyle2), b3(FontStyle3);
    FontStyle1->setChecked(bold);
    FontStyle2->setChecked(italic);
    FontStyle3->setChecked(underline);
    applyFont();
    m_highlighter->setColors(ColorText::letterColors(ColorList));
    RichEdit1->moveCursor(QTextCursor::Start);
}

QStringList TEditor::getEditorList() const
{
    // The size in use, not a half-typed one: the settings file takes only a size.
    return {QString::number(RichEdit1->font().pointSize()), QString::number(getFontStyle()),
            getColorList()};
}

int TEditor::getFontStyle() const
{
    return EditorFile::styleCode(FontStyle1->isChecked(), FontStyle2->isChecked(),
                                 FontStyle3->isChecked());
}

void TEditor::setColorList(const QString &text)
{
    ColorList = CommaText::read(text);
    m_highlighter->setColors(ColorText::letterColors(ColorList));
}

QString TEditor::getColorList() const
{
    return ColorList.join(u',');
}

bool TEditor::setWindowsSize(const QString &text)
{
    int w = 0, h = 0;
    if (!EditorFile::readSize(text, &w, &h))
        return false;
    m_sizeText = text;
    resize(w, h);
    return true;
}

QString TEditor::getWindowsSize() const
{
    return QString::number(width()) + u',' + QString::number(height());
}

QString TEditor::getWindowsSizeDefault()
{
    return Defaults::editorSize(workArea());
}

QStringList TEditor::getDefault()
{
    const QStringList d = Defaults::editorList(workArea());
    return d;
}

void TEditor::applyFont()
{
    QFont f = RichEdit1->font();
    bool ok = false;
    const int points = FontComboBox->currentText().trimmed().toInt(&ok);
    // A typed size that is no usable number keeps the size the text has.
    if (ok && points > 0 && points <= 200)
        f.setPointSize(points);
    else
        FontComboBox->setCurrentText(QString::number(f.pointSize()));
    f.setBold(FontStyle1->isChecked());
    f.setItalic(FontStyle2->isChecked());
    f.setUnderline(FontStyle3->isChecked());
    const int caret = RichEdit1->textCursor().position();
    RichEdit1->setFont(f);
    QTextCursor c = RichEdit1->textCursor();
    c.setPosition(caret);
    RichEdit1->setTextCursor(c);
}

void TEditor::FontComboBoxSelect()
{
    applyFont();
    RichEdit1->setFocus();
}

void TEditor::UpeateColor()
{
    const int caret = RichEdit1->textCursor().position();
    m_highlighter->setColors(ColorText::letterColors(ColorList));
    m_highlighter->rehighlight();
    QTextCursor c = RichEdit1->textCursor();
    c.setPosition(std::min(caret, RichEdit1->document()->characterCount() - 1));
    RichEdit1->setTextCursor(c);
}

bool TEditor::loadFile()
{
    if (FileName.isEmpty())
        return true;
    QString text, error;
    if (!EditorFile::readText(FileName, &text, &error)) {
        // Saving would otherwise write the empty text over a file that could not be read.
        FileName.clear();
        updateTitle();
        QMessageBox::critical(this, windowTitle(), error);
        return false;
    }
    m_loading = true;
    RichEdit1->setPlainText(text);
    RichEdit1->document()->setModified(false);
    m_loading = false;
    Save = false;
    updateTitle();
    return true;
}

void TEditor::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    const QRect area = workArea();
    move((area.right() + 1 - frameGeometry().width()) / 2,
         (area.bottom() + 1 - frameGeometry().height()) / 2);
    loadFile();
    UpeateColor();
    RichEdit1->moveCursor(QTextCursor::Start);
    RichEdit1->setFocus();
}

void TEditor::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        updateTitle();
}

bool TEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == RichEdit1 && event->type() == QEvent::KeyPress) {
        const QString text = static_cast<QKeyEvent *>(event)->text();
        if (text.size() == 1 && LetterColoring::isAddressLetter(text.at(0))) {
            // The letter and what is typed after it take the letter's colour.
            QTextCharFormat f = RichEdit1->currentCharFormat();
            f.setForeground(ColorText::letterColors(ColorList).at(text.at(0).unicode() - u'A'));
            RichEdit1->setCurrentCharFormat(f);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TEditor::encodable()
{
    const QString text = RichEdit1->toPlainText();
    const QList<NcText::Unencodable> bad = NcText::unencodable(text, NcText::codePage());
    if (bad.isEmpty())
        return true;
    const QString message =
        LanguagePack::caption(language, LanguagePack::Editor, UnencodableLine)
            .arg(NcText::displayName(NcText::codePage()), NcText::describeUnencodable(text, bad));
    if (showMessage)
        showMessage(message);
    else
        QMessageBox::warning(this, windowTitle(), message);
    return false;
}

bool TEditor::writeTo(const QString &path)
{
    if (!encodable())
        return false;
    QString error;
    if (!EditorFile::writeText(path, RichEdit1->toPlainText(), &error)) {
        if (showMessage)
            showMessage(error);
        else
            QMessageBox::critical(this, windowTitle(), error);
        return false;
    }
    return true;
}

bool TEditor::SaveFile()
{
    if (!encodable())
        return false;
    const QString name = askSaveName ? askSaveName() : QString();
    if (name.isEmpty())
        return false;
    return writeTo(name);
}

void TEditor::setSaved()
{
    m_loading = true;
    RichEdit1->document()->setModified(false);
    m_loading = false;
    Save = false;
}

bool TEditor::askToSave()
{
    if (!Save)
        return true;
    const auto line = [this](int i) {
        return LanguagePack::caption(language, LanguagePack::Editor, i);
    };
    // A new document has no file name: the pack's word for an unnamed program stands in.
    const QString name =
        FileName.isEmpty() ? line(UntitledLine) : QDir::toNativeSeparators(FileName);
    const QString text = name + line(8) + u'\n' + line(9) + u'?';
    const QMessageBox::StandardButton answer =
        askQuestion ? askQuestion(text) : QMessageBox::Cancel;
    if (answer == QMessageBox::Cancel)
        return false;
    if (answer == QMessageBox::Yes) {
        if (!FileName.isEmpty()) {
            if (!writeTo(FileName))
                return false;
            FileName.clear();
        } else if (!SaveFile()) {
            // No name chosen or the write failed: going on would lose the text.
            return false;
        }
    }
    setSaved();
    return true;
}

void TEditor::FNewClick()
{
    if (!askToSave())
        return;
    m_loading = true;
    RichEdit1->clear();
    m_loading = false;
    setSaved();
    FileName.clear();
    updateTitle();
}

void TEditor::FOpenClick()
{
    if (!askToSave())
        return;
    const QString name = askOpenName ? askOpenName() : QString();
    if (!name.isEmpty()) {
        QString text, error;
        if (EditorFile::readText(name, &text, &error)) {
            m_loading = true;
            RichEdit1->setPlainText(text);
            m_loading = false;
            setSaved();
            FileName = name;
            updateTitle();
        } else {
            QMessageBox::critical(this, windowTitle(), error);
        }
    }
    UpeateColor();
}

bool TEditor::FSave1Click()
{
    if (FileName.isEmpty())
        return FSave2Click();
    if (!writeTo(FileName))
        return false;
    setSaved();
    return true;
}

bool TEditor::FSave2Click()
{
    if (!encodable())
        return false;
    const QString name = askSaveName ? askSaveName() : QString();
    if (name.isEmpty() || !writeTo(name))
        return false;
    FileName = name;
    updateTitle();
    setSaved();
    return true;
}

void TEditor::NColorClick()
{
    if (!m_colors)
        return;
    m_colors->setLanguage(language);
    m_colors->setColor(ColorList);
    m_colors->exec();
    ColorList = m_colors->getColor();
    UpeateColor();
}

void TEditor::closeEvent(QCloseEvent *event)
{
    if (!askToSave()) {
        event->ignore();
        return;
    }
    if (m_option) {
        m_option->setOptionList(TOption::EditorList, getEditorList());
        m_option->setWindowsSize(TOption::EditorSlot, getWindowsSize());
    }
    event->accept();
}
