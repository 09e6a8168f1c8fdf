#include "answer/ItemDrop.h"

#include "answer/SoundCues.h"
#include "forms/Form1.h"

#include <algorithm>
#include <array>

namespace
{

float centreX(const Control& c)
{
    return c.Left + c.Width / 2.0F;
}
float centreY(const Control& c)
{
    return c.Top + c.Height / 2.0F;
}

// Brings a label released off the board back onto it.
void keepOnBoard(const Form1& form, Control& label)
{
    if (centreX(label) < 0.0F) {
        label.Left = 0.0F;
    }
    if (centreX(label) > form.Width - 100.0F) {
        label.Left = form.Width - label.Width - 20.0F;
    }
    if (centreY(label) > form.Height - 450.0F) {
        label.Top = form.Height - label.Height - 600.0F;
    }
    if (centreY(label) < 700.0F) {
        label.Top = 720.0F;
    }
}

bool hits(const Control& label, const Control& frame)
{
    const float cx = centreX(label);
    const float cy = centreY(label);
    return frame.Left < cx && cx < frame.Left + frame.Width && frame.Top - 100.0F < cy &&
           cy < frame.Top + frame.Height;
}

void showSolved(Form1& form)
{
    Module1& st = form.state;
    form.Command1[0].Visible = false;
    form.Command1[1].Visible = false;
    SoundCues::play(form.players, SoundCue::Correct);
    if (st.CurrentProblem < st.ProblemCount) {
        form.Label4.setCaption(QStringLiteral("正解です。次の問題へ進みますか？"));
        form.Command2[0].Visible = true;
    } else {
        form.Label4.setCaption(QStringLiteral("正解です。このシリーズは終わりです"));
        form.Command2[0].Visible = false;
    }
    form.Shape2.Visible = true;
    form.Command2[1].Visible = true;
    form.Command2[2].Visible = true;
    form.Command2[5].setCaption(st.MarkedMode == 1 ? QStringLiteral("マーク取消")
                                                   : QStringLiteral("マークをつける"));
    form.Command2[5].Visible = true;
    const int current = std::clamp(st.CurrentProblem, 0, Module1::SeriesRows - 1);
    if (!st.Problems.at(current).explanation.isEmpty()) {
        form.Command2[4].Visible = true;
    }
    if (st.CurrentProblem > 1) {
        form.Command2[3].Visible = true;
    }
    form.Label4.Visible = true;
    st.AnswerOpen = 0;
}

} // namespace

void ItemMouseUp(Form1& form, int index, int /*button*/, int /*shift*/, float /*x*/, float /*y*/)
{
    Module1& st = form.state;
    if (index < 0 || index >= Module1::MaxItems || st.AnswerOpen != 1) {
        return;
    }
    // Only the release that ends a drag places the item: with two buttons
    // held, the second release would place it a second time.
    if (st.Dragging != 1) {
        return;
    }
    SoundCues::rewindAll(form.players);
    st.Dragging = 0;

    Control& label = form.Label1.at(index);
    const float H0 = form.Label1[0].Height;
    const int frames = std::clamp(st.GroupCount, 0, Module1::MaxGroups);
    for (int c = 0; c < frames; ++c) {
        keepOnBoard(form, label);
        const Control& frame = form.Shape1.at(c);
        if (!hits(label, frame)) {
            continue;
        }
        // The lowest frame hit takes the item, in its first empty slot.
        auto& slots = st.PlacementTable.at(c);
        int k = 0;
        while (k <= Module1::LastSlot && slots.at(k) != 0) {
            ++k;
        }
        if (k <= Module1::LastSlot) {
            label.Left = frame.Left + 120.0F;
            label.Top = frame.Top + 250.0F + static_cast<float>(k) * H0;
            if (label.Top + label.Height / 2.0F <= frame.Top + frame.Height) {
                slots.at(k) = index + 1;
            } else {
                // No room left in the frame: park the item above the frames.
                label.Top = form.Shape1[0].Top - 150.0F - H0;
            }
        }
        break;
    }
    label.BackColor = Colors::ButtonFace;

    // One ascending pass closes the gap a pick-up left.
    for (int c = 0; c < frames; ++c) {
        auto& slots = st.PlacementTable.at(c);
        for (int k = 0; k <= Module1::LastSlot; ++k) {
            if (slots.at(k) == 0) {
                slots.at(k) = slots.at(k + 1);
                slots.at(k + 1) = 0;
            }
            const int v = slots.at(k);
            if (v > 0 && v <= Module1::MaxItems) {
                form.Label1.at(v - 1).Top =
                    form.Shape1.at(c).Top + 250.0F + static_cast<float>(k) * H0;
            }
        }
    }

    int placed = 0;
    for (int c = 0; c < frames; ++c) {
        for (int k = 0; k <= Module1::LastSlot; ++k) {
            if (st.PlacementTable.at(c).at(k) > 0) {
                ++placed;
            }
        }
    }
    if (placed < st.ItemCount) {
        return;
    }

    // Every item lies in a frame: check the whole answer.
    for (int c = 0; c < Module1::MaxGroups; ++c) {
        st.GroupColors.at(c) = Colors::GroupCaptions.at(c);
    }
    int correct = 0;
    for (int c = 0; c < frames; ++c) {
        for (int k = 0; k <= Module1::LastSlot; ++k) {
            const int v = st.PlacementTable.at(c).at(k);
            if (v > 0 && v <= Module1::MaxItems &&
                st.ItemAnswers.at(v - 1) == static_cast<double>(c + 1)) {
                ++correct;
                form.Label1.at(v - 1).BackColor = st.GroupColors.at(c);
            }
        }
    }
    if (correct == st.ItemCount) {
        showSolved(form);
        return;
    }
    if (st.LastCorrectCount == 0) {
        SoundCues::play(form.players, SoundCue::Wrong);
    } else if (correct > st.LastCorrectCount) {
        SoundCues::play(form.players, SoundCue::MoreCorrect);
    } else {
        SoundCues::play(form.players, SoundCue::NotMoreCorrect);
    }
    st.LastCorrectCount = correct;
}
