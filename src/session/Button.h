#pragma once

// The buttons a learner presses, by what they do.
enum class Button {
    Next,           // 次の問題へ
    Retry,          // この問題をもう一度
    ToList,         // 終了 on the result panel
    Previous,       // 前の問題へ
    Explanation,    // 解説
    Mark,           // マークをつける / マーク取消
    ArrowNext,      // 次へ
    ArrowPrevious,  // 戻る
    Quit,           // 終了 at the bottom, leaving a series
    ExplanationBack // 戻る in the explanation
};
