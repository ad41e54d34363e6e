#include "tnumeditplugin.h"

#include <numedit/tnumedit.h>

#include <QDesignerFormEditorInterface>
#include <QDesignerPropertySheetExtension>
#include <QExtensionManager>
#include <QIcon>

namespace
{

// Designer stores a property only once it counts as changed. Its "Change text..." and the
// text row of QLineEdit write the text, which is never stored (it is re-declared STORED
// false): only Text is. So Text counts as changed whenever the field holds a text, as any
// text differs from the empty default; otherwise a field whose Text was never set would
// lose the typed text on saving. Text is stored after NumMask, whose setter empties the text.
void storeTextAsText(QDesignerFormEditorInterface *core, TNumEdit *edit)
{
    QExtensionManager *manager = core->extensionManager();
    if (!manager)
        return;
    QObject::connect(edit, &QLineEdit::textChanged, edit, [manager, edit](const QString &now) {
        if (auto *sheet = qt_extension<QDesignerPropertySheetExtension *>(manager, edit))
            sheet->setChanged(sheet->indexOf(QStringLiteral("Text")), !now.isEmpty());
    });
}

} // namespace

TNumEditPlugin::TNumEditPlugin(QObject *parent) : QObject(parent) {}

QString TNumEditPlugin::name() const
{
    return QStringLiteral("TNumEdit");
}

QString TNumEditPlugin::group() const
{
    return QStringLiteral("Additional");
}

QString TNumEditPlugin::toolTip() const
{
    return QStringLiteral("Numeric edit: integers, decimal numbers and dates in a mask's form");
}

QString TNumEditPlugin::whatsThis() const
{
    return QStringLiteral(
        "A single-line edit whose NumMask decides the kind and form of its text. Typed "
        "arithmetic is evaluated, letters are refused and bad input is reported through "
        "edError. Title puts a label above the field; Elipsis adds a \"...\" button.");
}

QString TNumEditPlugin::includeFile() const
{
    return QStringLiteral("numedit/tnumedit.h");
}

QIcon TNumEditPlugin::icon() const
{
    return QIcon();
}

bool TNumEditPlugin::isContainer() const
{
    return false;
}

QWidget *TNumEditPlugin::createWidget(QWidget *parent)
{
    auto *edit = new TNumEdit(parent);
    // Designer and QUiLoader apply the stored properties right after this returns, without a
    // loading phase of their own. Loading until they are done keeps the NumType setter from
    // replacing the stored mask and text with the kind's default, and the Text setter from
    // reformatting the stored text; the queued call then attaches the title as a form does.
    edit->markLoading();
    edit->setDesigning(!m_core.isNull());
    QMetaObject::invokeMethod(
        edit,
        [edit, core = m_core] {
            edit->FinishLoading();
            if (core)
                storeTextAsText(core, edit);
        },
        Qt::QueuedConnection);
    return edit;
}

bool TNumEditPlugin::isInitialized() const
{
    return !m_core.isNull(); // a new form editor after the last one went initialises again
}

void TNumEditPlugin::initialize(QDesignerFormEditorInterface *core)
{
    m_core = core;
}

QString TNumEditPlugin::domXml() const
{
    // A new field stores what the main window's fields store: an integer field showing 0.
    // The strings are not translatable, so uic applies NumMask before NumType and Text.
    return QStringLiteral(R"(<ui language="c++" displayname="TNumEdit">
 <widget class="TNumEdit" name="numEdit">
  <property name="geometry">
   <rect><x>0</x><y>0</y><width>81</width><height>21</height></rect>
  </property>
  <property name="TabStop">
   <bool>true</bool>
  </property>
  <property name="NumMask">
   <string notr="true">&lt;0</string>
  </property>
  <property name="NumType">
   <enum>TNumEdit::ntInt</enum>
  </property>
  <property name="Text">
   <string notr="true">0</string>
  </property>
  <property name="ClearOnErr">
   <bool>true</bool>
  </property>
  <property name="ErrorColor">
   <UInt>255</UInt>
  </property>
  <property name="Color">
   <UInt>2147483653</UInt>
  </property>
  <property name="Visible">
   <bool>true</bool>
  </property>
  <property name="ParentColor">
   <bool>false</bool>
  </property>
 </widget>
 <customwidgets>
  <customwidget>
   <class>TNumEdit</class>
   <extends>QLineEdit</extends>
   <header location="global">numedit/tnumedit.h</header>
  </customwidget>
 </customwidgets>
</ui>
)");
}
