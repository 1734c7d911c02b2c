#pragma once
// Resource ids of the skin pictures (RCDATA resources of skin/skin.rc).

#define IDR_SKIN_BACKGROUND 2001    // bg.jpg, 330 x 228 window background
#define IDR_SKIN_CLOSE 2002         // btn_close.png, 4 frames of 30 x 40
#define IDR_SKIN_BUTTON 2003        // btn_caption.png, 4 frames of 80 x 28
#define IDR_SKIN_BADGE_INFO 2004    // badge_info.png, 110 x 55, orange exclamation
#define IDR_SKIN_BADGE_YES 2005     // badge_yes.png, 110 x 55, green tick
#define IDR_SKIN_BADGE_ERROR 2006   // badge_error.png, 104 x 55, red cross
#define IDR_SKIN_TITLE 2007         // title.png, 107 x 27
