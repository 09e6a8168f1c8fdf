#include "forms/StartUp.h"

#include "answer/SoundCues.h"
#include "series/Catalog.h"
#include "forms/Form1.h"

void RunStartUp(Form1& form)
{
    form.Label5.Top = form.Height - 900.0F;
    form.Command3.Top = form.Height - 930.0F;
    form.Picture1.Left = (form.Width - form.Picture1.Width) / 2.0F;
    form.List1.Left = (form.Width - form.List1.Width) / 2.0F;
    form.Shape2.Visible = false;
    for (int i = 0; i <= 2; ++i) {
        form.Command2.at(i).Visible = false;
    }
    form.Label1[0].Top = 720.0F;
    form.Label1[0].Left = 360.0F;
    for (Control& item : form.Label1) {
        item.Visible = false;
    }
    for (int i = 0; i < 6; ++i) {
        form.Shape1.at(i).Visible = false;
        form.Label2.at(i).Visible = false;
    }
    if (form.state.CurrentProblem == 0) {
        ReadSeriesCatalog(form);
    }
    form.Label5.setCaption(QString::fromUtf16(Form1::ListPrompt));
    form.Label5.Visible = true;
    SoundCues::openAll(form.players);
}
