#include "board/Display.h"

#include "answer/SoundCues.h"
#include "forms/Form1.h"

#include <algorithm>

namespace
{

// Puts a group caption above its frame, centred on the frame's column.
void placeCaption(Form1& form, int c, double columnCursor, double pitch)
{
    const Control& frame = form.Shape1.at(c);
    Control& caption = form.Label2.at(c);
    caption.Top = static_cast<float>(static_cast<double>(frame.Top) - 100.0);
    caption.Left =
        static_cast<float>((columnCursor + pitch / 2.0) - static_cast<double>(caption.Width) / 2.0);
}

void placeFrame(Control& frame, double left, double top, double width, double height)
{
    frame.Left = static_cast<float>(left);
    frame.Top = static_cast<float>(top);
    frame.Width = static_cast<float>(width);
    frame.Height = static_cast<float>(height);
}

// Frames first..last side by side from Left 50, each P - 50 wide, the
// column cursor growing by `step`.
void placeRow(Form1& form, int first, int last, double top, double height, double P, double step)
{
    double cursor = 50.0;
    for (int c = first; c <= last; ++c) {
        placeFrame(form.Shape1.at(c), cursor, top, P - 50.0, height);
        placeCaption(form, c, cursor, P);
        cursor += step;
    }
}

// The top of a frame in the second row, below Shape1(0).
double secondRowTop(const Form1& form)
{
    return static_cast<double>(form.Shape1[0].Top) + static_cast<double>(form.Shape1[0].Height) +
           100.0;
}

} // namespace

void ClearBoard(Form1& form)
{
    for (Control& item : form.Label1) {
        item.Enabled = true;
        item.Visible = false;
        item.BackColor = Colors::ButtonFace;
    }
    form.Label1[0].Top = 720.0F;
    form.Label1[0].Left = 360.0F;
    for (int i = 0; i < Module1::MaxGroups; ++i) {
        form.Shape1.at(i).Visible = false;
        form.Label2.at(i).Visible = false;
    }
}

void Display(Form1& form, qint16 problemNumber)
{
    if (problemNumber < 0 || problemNumber >= Module1::SeriesRows) {
        return;
    }
    Module1& st = form.state;
    const Problem& problem = st.Problems.at(static_cast<std::size_t>(problemNumber));
    const double W = form.Width;
    const double H = form.Height;

    // Start of a problem.
    st.AnswerOpen = 1;
    SoundCues::rewindAll(form.players);
    double widest = 0.0;

    // Buttons and the question label follow the current window size.
    form.Command3.Top = static_cast<float>(H - 930.0);
    form.Command1[0].Left = static_cast<float>(W - form.Command1[0].Width - 250.0);
    form.Command1[1].Left =
        static_cast<float>(W - form.Command1[0].Width - form.Command1[1].Width - 250.0);
    form.Command3.Left = static_cast<float>(W - form.Command3.Width - 200.0);
    form.Label3.Width =
        static_cast<float>(static_cast<double>(form.Command1[1].Left) - form.Label3.Left - 280.0);
    if (problemNumber == 1) {
        form.Command1[1].Visible = false;
    }
    form.Label5.Top = static_cast<float>(H - 900.0);

    ClearBoard(form);

    form.Label6.setCaption(problem.heading);
    form.Label3.setCaption(problem.question);
    form.Label6.Visible = true;
    form.Label3.Visible = true;

    // Terms and groups beyond the controls the window has are not shown and
    // not stored.
    const int items = std::min<int>(static_cast<int>(problem.terms.size()), Module1::MaxItems);
    for (int i = 0; i < items; ++i) {
        Control& label = form.Label1.at(static_cast<std::size_t>(i));
        label.setCaption(QLatin1Char(' ') + problem.terms.at(i) + QLatin1Char(' '));
        widest = std::max(widest, static_cast<double>(label.Width));
    }
    st.ItemCount = static_cast<qint16>(items);

    const int groups = std::min<int>(static_cast<int>(problem.groups.size()), Module1::MaxGroups);
    for (int c = 0; c < groups; ++c) {
        form.Label2.at(static_cast<std::size_t>(c))
            .setCaption(QLatin1Char(' ') + problem.groups.at(c) + QLatin1Char(' '));
    }
    st.GroupCount = groups;

    const int answers =
        std::min<int>(static_cast<int>(problem.groupOfTerm.size()), Module1::AnswerEntries);
    for (int i = 0; i < answers; ++i) {
        st.ItemAnswers.at(static_cast<std::size_t>(i)) = problem.groupOfTerm.at(i);
    }

    for (int c = 0; c < st.GroupCount; ++c) {
        for (int k = 0; k <= Module1::LastSlot; ++k) {
            st.PlacementTable.at(c).at(k) = 0;
        }
    }

    // Items flow like words in a paragraph.
    double x = 360.0;
    double y = 720.0;
    for (int i = 1; i < st.ItemCount; ++i) {
        x = x + form.Label1.at(i - 1).Width + 150.0;
        if (x + form.Label1.at(i).Width > W - 150.0) {
            y += 350.0;
            x = 360.0;
        }
        form.Label1.at(i).Top = static_cast<float>(y);
        form.Label1.at(i).Left = static_cast<float>(x);
    }
    for (int i = 0; i < Module1::MaxItems; ++i) {
        form.Label1.at(i).Visible = i < st.ItemCount;
    }

    // The frames start below the items.
    double F = 2280.0;
    if (st.ItemCount > 0) {
        const Control& last = form.Label1.at(st.ItemCount - 1);
        const double bottom = static_cast<double>(last.Top) + static_cast<double>(last.Height);
        if (2280.0 < bottom) {
            F = bottom + 300.0;
        }
    }

    const int G = st.GroupCount;
    const double firstRowHeight = (H - F - 270.0) / 2.0 - 500.0;
    // The second row hangs below Shape1(0) once that has its final place.
    const auto secondRow = [&](int first, int last, double P, double step) {
        const double t2 = secondRowTop(form);
        placeRow(form, first, last, t2, H - 480.0 - t2 - 500.0, P, step);
    };
    if (G == 2 && widest > (W - 80.0) / 2.0) {
        // Stacked pair: one wide frame above the other.
        placeFrame(form.Shape1[0], 50.0, F, W - 400.0, firstRowHeight);
        form.Label2[0].Top = static_cast<float>(static_cast<double>(form.Shape1[0].Top) - 100.0);
        form.Label2[0].Left = 100.0F;
        const double t2 = secondRowTop(form);
        placeFrame(form.Shape1[1], 50.0, t2, W - 400.0, H - 480.0 - t2 - 500.0);
        form.Label2[1].Top = static_cast<float>(static_cast<double>(form.Shape1[1].Top) - 100.0);
        form.Label2[1].Left = 100.0F;
    } else if (G == 4 && widest > (W - 80.0) / 4.0) {
        // Two-by-two grid; the second row steps 10 rather than 15.
        const double P = (W - 250.0) / 2.0 - 50.0;
        placeRow(form, 0, 1, F, firstRowHeight, P, P + 15.0);
        secondRow(2, 3, P, P + 10.0);
    } else if (G > 0 && G < 5) {
        const double P = (W - (G + 1) * 50.0 - 50.0) / G - 5.0;
        placeRow(form, 0, G - 1, F, H - 480.0 - F - 500.0, P, P + 15.0);
    } else if (G >= 5) {
        // Two rows: three frames above, the rest below.
        const double P = (W - 250.0) / 3.0 - 50.0;
        placeRow(form, 0, 2, F, firstRowHeight, P, P + 15.0);
        secondRow(3, G - 1, P, P + 10.0);
    }

    for (int c = 0; c < Module1::MaxGroups; ++c) {
        form.Shape1.at(c).Visible = c < G;
        form.Label2.at(c).Visible = c < G;
    }
    form.Command1[0].Visible = true;
    if (problemNumber > 1) {
        form.Command1[1].Visible = true;
    }
}
