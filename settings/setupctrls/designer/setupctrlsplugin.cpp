#include "setupctrlsplugin.h"

#include "popupgeometry.h"
#include "setupdesign.h"
#include "tboardhighlight.h"
#include "tboardimage.h"
#include "tjumper.h"
#include "tradiopanel.h"

#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtDesigner/QDesignerFormWindowInterface>
#include <QtDesigner/QDesignerPropertySheetExtension>
#include <QtDesigner/QExtensionManager>

#include <QPainter>
#include <QPixmap>

namespace {

constexpr int IconSize = 22;
constexpr int BoardImageSize = 105;
constexpr int HotspotSize = 65;
constexpr QSize TwoJumperSize(34, 18);
constexpr QSize ThreeJumperSize(43, 18);

// A widget is designed when it lies on a form editor's canvas; the form loader and a preview
// build the same widgets outside any form window.
bool onFormWindow(const QWidget *widget)
{
    return QDesignerFormWindowInterface::findFormWindow(const_cast<QWidget *>(widget)) != nullptr;
}

// Marks a property the widget set itself as changed, so the form editor saves it.
void markChanged(QWidget *widget, const char *property)
{
    QDesignerFormWindowInterface *form = QDesignerFormWindowInterface::findFormWindow(widget);
    if (!form)
        return;
    auto *sheet =
        qt_extension<QDesignerPropertySheetExtension *>(form->core()->extensionManager(), widget);
    if (sheet && sheet->indexOf(QString::fromLatin1(property)) >= 0)
        sheet->setChanged(sheet->indexOf(QString::fromLatin1(property)), true);
}

QPixmap iconFor(const QString &name)
{
    QPixmap pixmap(IconSize, IconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(2, 2, IconSize - 4, IconSize - 4);
    if (name == QLatin1String("TBoardImage")) {
        painter.setBrush(QColor(0x2e, 0x7d, 0x32));
        painter.drawRect(box);
        painter.setBrush(QColor(0x20, 0x20, 0x20));
        painter.drawRect(QRectF(7, 7, 8, 6));
    } else if (name == QLatin1String("TBoardHighlight")) {
        painter.setPen(QPen(QColor(0xff, 0xd0, 0x00), 3));
        painter.drawEllipse(box.adjusted(1, 1, -1, -1));
    } else if (name == QLatin1String("TRadioPanel")) {
        painter.setBrush(QColor(0xe0, 0xe0, 0xe0));
        painter.drawRect(box);
        painter.drawLine(QPointF(5, 8), QPointF(17, 8));
        painter.drawLine(QPointF(5, 13), QPointF(14, 13));
    } else {
        const int pins = name == QLatin1String("TTwoJumper") ? 2 : 3;
        painter.setBrush(QColor(0x80, 0x80, 0x80));
        painter.drawRect(QRectF(2, 6, IconSize - 4, 10));
        painter.setBrush(QColor(0xff, 0xff, 0x00));
        for (int pin = 0; pin < pins; ++pin)
            painter.drawRect(QRectF(4 + pin * 6, 9, 4, 4));
    }
    return pixmap;
}

template<typename T>
std::function<QWidget *(QWidget *)> maker()
{
    return [](QWidget *parent) -> QWidget * { return new T(parent); };
}

} // namespace

SetupCtrlsWidget::SetupCtrlsWidget(Entry entry, QObject *parent)
    : QObject(parent), m_entry(std::move(entry))
{
}

QString SetupCtrlsWidget::group() const
{
    return QStringLiteral("Board Setup");
}

QIcon SetupCtrlsWidget::icon() const
{
    return QIcon(iconFor(m_entry.name));
}

QString SetupCtrlsWidget::domXml() const
{
    const QString name = m_entry.name.mid(1);
    QString declarations;
    for (const auto &[property, type] : m_entry.untranslated)
        declarations += QStringLiteral("    <stringpropertyspecification name=\"%1\" notr=\"true\" "
                                       "type=\"%2\"/>\n")
                            .arg(property, type);
    if (!declarations.isEmpty())
        declarations = QStringLiteral(" <customwidgets>\n  <customwidget>\n   <class>%1</class>\n"
                                      "   <propertyspecifications>\n%2"
                                      "   </propertyspecifications>\n  </customwidget>\n"
                                      " </customwidgets>\n")
                           .arg(m_entry.name, declarations);
    return QStringLiteral("<ui language=\"c++\">\n"
                          " <widget class=\"%1\" name=\"%2\">\n"
                          "  <property name=\"geometry\">\n"
                          "   <rect><x>0</x><y>0</y><width>%3</width><height>%4</height></rect>\n"
                          "  </property>\n%5"
                          " </widget>\n%6"
                          "</ui>\n")
        .arg(m_entry.name, name)
        .arg(m_entry.size.width())
        .arg(m_entry.size.height())
        .arg(m_entry.extraProperties, declarations);
}

void SetupCtrlsWidget::initialize(QDesignerFormEditorInterface *)
{
    m_initialized = true;
}

SetupCtrlsPlugin::SetupCtrlsPlugin(QObject *parent) : QObject(parent)
{
    // Only widgets that end up on a form window's canvas take the design-mode rules.
    SetupDesign::SetHostQuery(onFormWindow);
    SetupDesign::SetChangeNotifier(markChanged);

    const QList<SetupCtrlsWidget::Entry> entries = {
        {QStringLiteral("TBoardImage"),
         QStringLiteral("tboardimage.h"),
         QStringLiteral("Board photograph carrying the hotspots"),
         QStringLiteral("The surface of a setup guide: it paints the board's photograph (Picture) "
                        "and carries the hotspots, which are dropped onto it. First names the "
                        "hotspot where the tour starts, Menu the menu bar the hotspots extend."),
         true,
         QSize(BoardImageSize, BoardImageSize),
         QString(),
         {{QStringLiteral("First"), QStringLiteral("objectname")},
          {QStringLiteral("Menu"), QStringLiteral("objectname")},
          {QStringLiteral("Picture"), QStringLiteral("singleline")}},
         maker<TBoardImage>()},
        {QStringLiteral("TBoardHighlight"),
         QStringLiteral("tboardhighlight.h"),
         QStringLiteral("Hotspot: a ring over one part of the board"),
         QStringLiteral("A translucent ring over a connector, jumper block or LED. Pointing at it "
                        "opens a popup with the content panel named by RadioPanel. Hotspots with "
                        "the same Title and HighlightType are linked and act as one."),
         false,
         QSize(HotspotSize, HotspotSize),
         QString(),
         {{QStringLiteral("RadioPanel"), QStringLiteral("objectname")}},
         maker<TBoardHighlight>()},
        {QStringLiteral("TRadioPanel"),
         QStringLiteral("tradiopanel.h"),
         QStringLiteral("Content panel shown in a hotspot's popup"),
         QStringLiteral("Holds the jumpers, labels and edits of one popup; Lines is the "
                        "explanation below it. It is hidden in the window and moves into the "
                        "popup of the hotspot that first shows it."),
         true,
         QSize(PopupGeometry::OuterWidth, PopupGeometry::PanelHeight),
         QStringLiteral("  <property name=\"visible\"><bool>false</bool></property>\n"
                        "  <property name=\"MemoHeight\"><number>%1</number></property>\n")
             .arg(PopupGeometry::MemoHeight),
         {},
         maker<TRadioPanel>()},
        {QStringLiteral("TTwoJumper"),
         QStringLiteral("tjumper.h"),
         QStringLiteral("Two-pin jumper"),
         QStringLiteral("A two-pin jumper picture; a click opens or closes it. On a content panel "
                        "with RadioEnabled the panel's two-pin jumpers form a radio group."),
         false,
         TwoJumperSize,
         QString(),
         {},
         maker<TTwoJumper>()},
        {QStringLiteral("TThreeJumper"),
         QStringLiteral("tjumper.h"),
         QStringLiteral("Three-pin jumper"),
         QStringLiteral("A three-pin jumper picture; a click moves the shunt on: open, left, "
                        "right."),
         false,
         ThreeJumperSize,
         QString(),
         {},
         maker<TThreeJumper>()},
    };
    for (const SetupCtrlsWidget::Entry &entry : entries)
        m_widgets.append(new SetupCtrlsWidget(entry, this));
}
