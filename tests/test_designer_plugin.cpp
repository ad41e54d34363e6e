// The Designer plugin the way Qt Designer and QUiLoader use it: loaded from its file, its
// widgets made through its interface and driven through their properties only. The plugin
// carries its own copy of the control, so nothing here calls TNumEdit directly.
#include <QBuffer>
#include <QCoreApplication>
#include <QDesignerFormEditorInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMetaEnum>
#include <QPluginLoader>
#include <QUiLoader>
#include <QXmlStreamReader>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

#include <QDesignerComponents>
#include <QDesignerFormWindowInterface>
#include <QDesignerFormWindowManagerInterface>
#include <QDesignerIntegration>
#include <QDesignerPropertySheetExtension>
#include <QExtensionManager>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace
{

const QString pluginFile = QStringLiteral(NUMEDIT_DESIGNER_PLUGIN);

QDesignerCustomWidgetInterface *plugin()
{
    static QPluginLoader loader(pluginFile);
    auto *found = qobject_cast<QDesignerCustomWidgetInterface *>(loader.instance());
    EXPECT_NE(found, nullptr) << loader.errorString().toStdString();
    return found;
}

// A NumType value by its name, the way Designer's property editor finds it.
int kind(const QObject *edit, const char *name)
{
    const QMetaObject *meta = edit->metaObject();
    return meta->property(meta->indexOfProperty("NumType")).enumerator().keyToValue(name);
}

std::unique_ptr<QWidget> loadForm(QIODevice *form)
{
    QUiLoader loader;
    loader.clearPluginPaths();
    loader.addPluginPath(QFileInfo(pluginFile).absolutePath());
    std::unique_ptr<QWidget> widget(loader.load(form));
    EXPECT_NE(widget, nullptr) << loader.errorString().toStdString();
    return widget;
}

TEST(DesignerPlugin, OffersTNumEditInTheAdditionalGroup)
{
    QDesignerCustomWidgetInterface *numEdit = plugin();
    ASSERT_NE(numEdit, nullptr);
    EXPECT_EQ(numEdit->name(), QStringLiteral("TNumEdit"));
    EXPECT_EQ(numEdit->group(), QStringLiteral("Additional"));
    // uic writes #include <numedit/tnumedit.h>, as hosts include the installed header.
    EXPECT_EQ(numEdit->includeFile(), QStringLiteral("numedit/tnumedit.h"));
    EXPECT_TRUE(numEdit->domXml().contains(
        QLatin1String(R"(<header location="global">numedit/tnumedit.h</header>)")));
    EXPECT_FALSE(numEdit->isContainer());

    // What a new field from the widget box stores: an integer field showing 0, with Text
    // after NumMask and the strings untranslated, so uic keeps that order.
    const QString xml = numEdit->domXml();
    QXmlStreamReader reader(xml);
    std::vector<QString> stored;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        if (reader.name() == QLatin1String("property")) {
            stored.push_back(reader.attributes().value(QLatin1String("name")).toString());
        } else if (reader.name() == QLatin1String("string")) {
            EXPECT_EQ(reader.attributes().value(QLatin1String("notr")), QLatin1String("true"));
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    auto at = [&](const char *name) {
        return std::find(stored.begin(), stored.end(), QLatin1String(name)) - stored.begin();
    };
    EXPECT_LT(at("NumMask"), at("NumType"));
    EXPECT_LT(at("NumType"), at("Text"));
    EXPECT_LT(at("Text"), std::ptrdiff_t(stored.size()));

    QByteArray bytes = xml.toUtf8();
    QBuffer buffer(&bytes);
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    std::unique_ptr<QWidget> field = loadForm(&buffer);
    ASSERT_NE(field, nullptr);
    EXPECT_STREQ(field->metaObject()->className(), "TNumEdit");
    EXPECT_EQ(field->property("NumMask").toString(), QStringLiteral("<0"));
    EXPECT_EQ(field->property("NumType").toInt(), kind(field.get(), "ntInt"));
    EXPECT_EQ(field->property("Text").toString(), QStringLiteral("0"));
    EXPECT_TRUE(field->property("ClearOnErr").toBool());
}

TEST(DesignerPlugin, DesignedFieldKeepsItsFormThenTakesTheKindsDefaults)
{
    QDesignerCustomWidgetInterface *numEdit = plugin();
    ASSERT_NE(numEdit, nullptr);
    QDesignerFormEditorInterface core;
    numEdit->initialize(&core);
    EXPECT_TRUE(numEdit->isInitialized());
    QWidget form;
    QWidget *field = numEdit->createWidget(&form);
    ASSERT_NE(field, nullptr);
    auto *edit = qobject_cast<QLineEdit *>(field);
    ASSERT_NE(edit, nullptr);

    // Designer applies an opened form's properties at once, with no loading phase: the
    // stored kind must not bring its default mask, which would empty the stored text.
    field->setProperty("NumMask", QStringLiteral("<0.00"));
    field->setProperty("NumType", kind(field, "ntFloat"));
    field->setProperty("Text", QStringLiteral("12.5"));
    EXPECT_EQ(field->property("NumMask").toString(), QStringLiteral("<0.00"));
    EXPECT_EQ(field->property("NumType").toInt(), kind(field, "ntFloat"));
    EXPECT_EQ(edit->text(), QStringLiteral("12.5"));

    QCoreApplication::processEvents(); // the queued end of loading
    EXPECT_EQ(edit->text(), QStringLiteral("12.5"));
    const struct {
        const char *kind;
        const char *mask;
        const char *text;
    } picks[] = {{"ntInt", "<0", "0"}, {"ntFloat", "<0.009", "0.00"}, {"ntNone", "", ""}};
    for (const auto &pick : picks) {
        edit->setText(QStringLiteral("77"));
        field->setProperty("NumType", kind(field, pick.kind));
        EXPECT_EQ(field->property("NumType").toInt(), kind(field, pick.kind)) << pick.kind;
        EXPECT_EQ(field->property("NumMask").toString(), QLatin1String(pick.mask)) << pick.kind;
        EXPECT_EQ(edit->text(), QLatin1String(pick.text)) << pick.kind;
    }
    field->setProperty("NumType", kind(field, "ntFloat"));
    field->setProperty("Text", QStringLiteral("12.7")); // a live field would show 12.70
    EXPECT_EQ(edit->text(), QStringLiteral("12.7"));
}

TEST(DesignerPlugin, MainWindowsFormLoadsThroughQUiLoader)
{
    ASSERT_NE(plugin(), nullptr);
    QFile file(QStringLiteral(VESTREL_SOURCE_DIR "/resources/tform1.ui"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::unique_ptr<QWidget> form = loadForm(&file);
    ASSERT_NE(form, nullptr);
    const std::pair<const char *, const char *> fields[] = {{"nePort", "20010"}, {"neCycle", "0"}};
    for (const auto &[name, text] : fields) {
        auto *field = form->findChild<QLineEdit *>(QLatin1String(name));
        ASSERT_NE(field, nullptr) << name;
        EXPECT_STREQ(field->metaObject()->className(), "TNumEdit") << name;
        EXPECT_EQ(field->property("NumMask").toString(), QStringLiteral("<0")) << name;
        EXPECT_EQ(field->property("NumType").toInt(), kind(field, "ntInt")) << name;
        EXPECT_EQ(field->text(), QLatin1String(text)) << name;
    }

    // Once loaded, the titles stand above their fields and the fields are live.
    QCoreApplication::processEvents();
    auto *port = form->findChild<QLineEdit *>(QStringLiteral("nePort"));
    QLabel *title = nullptr;
    for (QLabel *label : form->findChildren<QLabel *>(QStringLiteral("TitleLabel")))
        if (label->buddy() == port)
            title = label;
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), QStringLiteral("Port"));
    EXPECT_EQ(title->parentWidget(), port->parentWidget());
    port->setProperty("Text", QStringLiteral("12.7"));
    EXPECT_EQ(port->text(), QStringLiteral("12"));
}

// Qt Designer's own form editor, with the built plugin among its plugins.
class DesignerFormEditor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Designer looks for plugins in the designer folder of each library path.
        QCoreApplication::addLibraryPath(QFileInfo(pluginFile).absoluteDir().filePath(".."));
        core = QDesignerComponents::createFormEditor(&owner);
        QDesignerComponents::initializeResources();
        QDesignerComponents::initializePlugins(core);
        core->setPropertyEditor(QDesignerComponents::createPropertyEditor(core, &panels));
        new QDesignerIntegration(core, core); // form windows need it
        window = core->formWindowManager()->createFormWindow(nullptr);
    }

    void TearDown() override { delete window; }

    QLineEdit *open(QByteArray form, const char *field)
    {
        QBuffer buffer(&form);
        buffer.open(QIODevice::ReadOnly);
        window->setContents(&buffer);
        QCoreApplication::processEvents();
        return window->findChild<QLineEdit *>(QLatin1String(field));
    }

    QDesignerPropertySheetExtension *sheet(QObject *object) const
    {
        return qt_extension<QDesignerPropertySheetExtension *>(core->extensionManager(), object);
    }

    // What "Change text..." does: it writes the property named text and marks it changed.
    void changeText(QLineEdit *field, const QString &text)
    {
        QDesignerPropertySheetExtension *s = sheet(field);
        const int index = s->indexOf(QStringLiteral("text"));
        s->setProperty(index, text);
        s->setChanged(index, true);
    }

    // The names and values of the properties the saved form stores for one widget.
    std::vector<std::pair<QString, QString>> saved(const char *field) const
    {
        std::vector<std::pair<QString, QString>> properties;
        QXmlStreamReader reader(window->contents());
        bool inside = false;
        QString name;
        while (!reader.atEnd()) {
            reader.readNext();
            if (reader.isStartElement() && reader.name() == QLatin1String("widget")) {
                inside = reader.attributes().value(QLatin1String("name")) == QLatin1String(field);
            } else if (reader.isEndElement() && reader.name() == QLatin1String("widget")) {
                inside = false;
            } else if (inside && reader.isStartElement()) {
                if (reader.name() == QLatin1String("property")) {
                    name = reader.attributes().value(QLatin1String("name")).toString();
                } else if (!name.isEmpty()) { // the value's element
                    properties.emplace_back(
                        name, reader.readElementText(QXmlStreamReader::IncludeChildElements));
                    name.clear();
                }
            }
        }
        return properties;
    }

    static std::ptrdiff_t position(const std::vector<std::pair<QString, QString>> &properties,
                                   const char *name)
    {
        auto it = std::find_if(properties.begin(), properties.end(),
                               [&](const auto &p) { return p.first == QLatin1String(name); });
        return it - properties.begin();
    }

    QObject owner;
    QWidget panels; // holds the property editor; destroyed before the form editor
    QDesignerFormEditorInterface *core = nullptr;
    QDesignerFormWindowInterface *window = nullptr;
};

TEST_F(DesignerFormEditor, OpensTheMainWindowsFormWithItsStoredFields)
{
    QFile file(QStringLiteral(VESTREL_SOURCE_DIR "/resources/tform1.ui"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QLineEdit *port = open(file.readAll(), "nePort");
    ASSERT_NE(port, nullptr);
    EXPECT_STREQ(port->metaObject()->className(), "TNumEdit");
    EXPECT_EQ(port->property("NumMask").toString(), QStringLiteral("<0"));
    EXPECT_EQ(port->text(), QStringLiteral("20010"));
    auto *cycle = window->findChild<QLineEdit *>(QStringLiteral("neCycle"));
    ASSERT_NE(cycle, nullptr);
    EXPECT_EQ(cycle->property("NumMask").toString(), QStringLiteral("<0"));
    EXPECT_EQ(cycle->text(), QStringLiteral("0"));

    // A changed text is saved as Text, after NumMask and NumType, and text is never stored.
    changeText(port, QStringLiteral("4321"));
    const auto properties = saved("nePort");
    EXPECT_EQ(position(properties, "text"), std::ptrdiff_t(properties.size()));
    EXPECT_LT(position(properties, "NumMask"), position(properties, "NumType"));
    EXPECT_LT(position(properties, "NumType"), position(properties, "Text"));
    ASSERT_LT(position(properties, "Text"), std::ptrdiff_t(properties.size()));
    EXPECT_EQ(properties[position(properties, "Text")].second, QStringLiteral("4321"));
}

TEST_F(DesignerFormEditor, FieldWithoutStoredTextKeepsItsMaskAndSavesTypedText)
{
    QLineEdit *field = open(R"(<ui version="4.0"><class>F</class>
 <widget class="QWidget" name="F">
  <widget class="TNumEdit" name="field">
   <property name="NumMask"><string notr="true">000</string></property>
   <property name="NumType"><enum>TNumEdit::ntInt</enum></property>
  </widget>
 </widget>
 <customwidgets><customwidget><class>TNumEdit</class><extends>QLineEdit</extends>
  <header location="global">numedit/tnumedit.h</header></customwidget></customwidgets>
</ui>)",
                            "field");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->property("NumMask").toString(), QStringLiteral("000")); // not "<0"
    EXPECT_EQ(field->text(), QString());
    changeText(field, QStringLiteral("55"));
    auto properties = saved("field");
    ASSERT_LT(position(properties, "Text"), std::ptrdiff_t(properties.size()));
    EXPECT_EQ(properties[position(properties, "Text")].second, QStringLiteral("55"));
    EXPECT_LT(position(properties, "NumMask"), position(properties, "Text"));

    // Picking a kind in the property editor gives its default mask and formatted text.
    QDesignerPropertySheetExtension *s = sheet(field);
    const int numType = s->indexOf(QStringLiteral("NumType"));
    s->setProperty(numType, kind(field, "ntFloat"));
    s->setChanged(numType, true);
    EXPECT_EQ(field->text(), QStringLiteral("0.00"));
    properties = saved("field");
    EXPECT_EQ(properties[position(properties, "NumMask")].second, QStringLiteral("<0.009"));
    EXPECT_EQ(properties[position(properties, "Text")].second, QStringLiteral("0.00"));
}

// A focus policy and a tag chosen in Designer come back from the saved form as chosen.
TEST_F(DesignerFormEditor, SavedFocusPolicyAndTagComeBackAsChosen)
{
    const char *form = R"(<ui version="4.0"><class>F</class>
 <widget class="QWidget" name="F">
  <widget class="TNumEdit" name="field">
   <property name="TabStop"><bool>true</bool></property>
   <property name="NumMask"><string notr="true">&lt;0</string></property>
  </widget>
 </widget>
 <customwidgets><customwidget><class>TNumEdit</class><extends>QLineEdit</extends>
  <header location="global">numedit/tnumedit.h</header></customwidget></customwidgets>
</ui>)";
    for (Qt::FocusPolicy policy :
         {Qt::NoFocus, Qt::TabFocus, Qt::ClickFocus, Qt::StrongFocus, Qt::WheelFocus}) {
        SCOPED_TRACE(policy);
        QLineEdit *field = open(form, "field");
        ASSERT_NE(field, nullptr);
        QDesignerPropertySheetExtension *s = sheet(field);
        for (const auto &[name, value] :
             {std::pair<const char *, QVariant>{"focusPolicy", int(policy)}, {"Tag", 7}}) {
            const int index = s->indexOf(QLatin1String(name));
            ASSERT_GE(index, 0) << name;
            s->setProperty(index, value);
            s->setChanged(index, true);
        }

        QByteArray saved = window->contents().toUtf8();
        QBuffer buffer(&saved);
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        std::unique_ptr<QWidget> loaded = loadForm(&buffer);
        ASSERT_NE(loaded, nullptr);
        auto *back = loaded->findChild<QLineEdit *>(QStringLiteral("field"));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->focusPolicy(), policy);
        EXPECT_EQ(back->property("Tag"), QVariant(7));
    }
}

} // namespace
