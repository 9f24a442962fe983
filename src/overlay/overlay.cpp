#include "overlay/overlay.h"

#include <algorithm>
#include <optional>

#include "overlay/backdrops/paint.h"
#include "overlay/featured.h"
#include "overlay/feed.h"

namespace lumvo {
namespace {

LayerSlot slotOf(Layer layer) {
    switch (layer) {
        case Layer::backdrop: return LayerSlot::wordBackdrop;
        case Layer::qrCard: return LayerSlot::qrCard;
        case Layer::feed: return LayerSlot::chatFeed;
        case Layer::featured: return LayerSlot::featuredCard;
        case Layer::poll: return LayerSlot::pollPanel;
        case Layer::feedFlames:
        case Layer::featuredFlames: break;
    }
    return LayerSlot::flames;
}

}  // namespace

void Overlay::drawFrame(std::int32_t width, std::int32_t height, const SharedSettings& settings,
                        const PublishedDisplay& display, double beatPosition) {
    settings.refresh(settings_, settingsSeen_);
    if (!settings_.enable) return;
    lastWidth_.store(width);
    lastHeight_.store(height);
    display.refresh(frame_, displaySeen_);
    if (target_) compose(width, height, beatPosition);
}

void Overlay::compose(std::int32_t width, std::int32_t height, double beatPosition) {
    // The frame is ended on every path, so the host's pipeline state is always put back.
    struct EndFrame {
        LayerTarget& target;
        ~EndFrame() { target.endFrame(); }
    } end{*target_};
    if (!target_->beginFrame(width, height)) return;

    const double now = clock_->nowSeconds();
    if (findLogos_ && now - logosCheckedAt_ >= 1.0) {
        logosCheckedAt_ = now;
        LogoFiles found = findLogos_();
        if (!(found == logos_)) {
            logos_ = std::move(found);
            logoStale_ = true;
        }
    }
    // A fresh copy of the document as the server sent it, every frame; the frame's own fields are
    // all set again by prepareFrame.
    static_cast<DisplayDocument&>(prepared_) = frame_;
    prepareFrame(prepared_, settings_, featured_, now, beatPosition, logos_.brandLogo);
    const FrameState& state = prepared_;
    const ComposeGeometry geometry = composeGeometry(width, height, state);

    const SizeI chat = geometry.chatTexture;
    target_->paintLayer(
        LayerSlot::chatFeed, chat.w, chat.h, feedKey(state, chat, photos_.generation()), [&](Canvas& canvas) {
            FeedPaint paint =
                paintFeed(canvas, state, chat.w, chat.h, [this](std::string_view id) { return photos_.lookup(id); });
            feedRecords_ = std::move(paint.records);
            hotRects_ = std::move(paint.hotRects);
        });

    stepCaption(caption_, state, now);
    if (state.showQr && !state.joinUrl.empty()) {
        const SizeI qr = geometry.qrTexture;
        target_->paintLayer(LayerSlot::qrCard, qr.w, qr.h, qrKey(state, caption_, qr), [&](Canvas& canvas) {
            if (logoStale_) {
                qrLogo_ = loadQrLogo(canvas, logos_.brandLogoUtf8, logos_.wordmark);
                logoStale_ = false;
            }
            paintQrCard(canvas, state, caption_, qr.w, qr.h, qrLogo_.get());
        });
    }

    // The featured card and the poll panel share the hero box.
    const double dt = timer_.step(now);
    const bool hero = heroActive(state), poll = pollShown(state);
    const float split = stepPoll(poll_, dt, now, state, hero);
    const HeroPlacement placement = heroPlacement(geometry.hero, poll, split);
    auto lookup = [this](std::string_view id) { return photos_.lookup(id); };
    const SizeI card = featuredTextureSize(geometry, poll);
    if (hero || state.editMode) {
        target_->paintLayer(LayerSlot::featuredCard, card.w, card.h, featuredKey(state, card, photos_.generation()),
                            [&](Canvas& canvas) { paintFeatured(canvas, state, card.w, card.h, lookup); });
    }
    if (poll) {
        // The panel's still part is painted once; frames where only confetti fly or bars move
        // paint the moving part over a copy of it. The layout is made by whichever part paints
        // first; the animation takes the new votes there, where the bars are about to be painted.
        const SizeI panel = placement.pollTexture;
        const std::uint64_t generation = photos_.generation();
        const bool barsMoving = pollBarsMoving(poll_, state, panel);
        std::optional<PollLayout> layout;
        auto laidOut = [&](Canvas& canvas) -> const PollLayout& {
            if (!layout) {
                layout = layoutPoll(canvas, poll_, pollPicture_, state, panel.w, panel.h, lookup, generation);
                throwConfetti(poll_, state, layout->bars);
            }
            return *layout;
        };
        target_->paintLayerOver(
            LayerSlot::pollPanel, panel.w, panel.h,
            pollStillKey(poll_, pollPicture_, state, panel, generation, !barsMoving),
            [&](Canvas& canvas) { paintPollStill(canvas, poll_, state, laidOut(canvas), !barsMoving); },
            pollPanelKey(poll_, pollPicture_, state, panel, ++frames_, generation),
            [&](Canvas& canvas) {
                confettiPainted_ +=
                    static_cast<std::uint64_t>(paintPollMoving(canvas, poll_, state, laidOut(canvas), barsMoving));
            });
    }

    // The word backdrop behind every card: stepped every frame, painted while it has particles and
    // the featured post is not hot.
    const SizeI backdrop = geometry.backdropCanvas;
    stepBackdrops(backdrops_, {static_cast<float>(backdrop.w), static_cast<float>(backdrop.h)}, dt, state, hero,
                  state.calmFx);
    backdropPainted_ = 0;
    const bool backdropDrawn = !backdrops_.pool.empty() && !state.hot && paintBackdrops(backdrop, state.pulse);

    const CardMotion motion = featuredMotion(state, geometry, placement, feedRecords_, split);
    LayerInputs inputs;
    inputs.backdropHasParticles = backdropDrawn;
    inputs.split = split;
    inputs.feedFlames = !hotRects_.empty();
    inputs.featuredFlames = state.hot;
    for (const LayerDraw& layer : layerOrder(state, geometry, placement, motion, inputs)) {
        if (!paintFlamesFor(layer.layer, geometry, card, now)) continue;
        target_->drawLayer(slotOf(layer.layer), layer.rect, layer.alpha);
    }
}

bool Overlay::paintBackdrops(SizeI canvas, float pulse) {
    const bool chase = std::any_of(backdrops_.pool.begin(), backdrops_.pool.end(), [](const BackdropParticle& p) {
        return p.kind == ParticleKind::Peach || p.kind == ParticleKind::Aubergine;
    });
    const std::string key = "backdrop " + std::to_string(++backdropPaints_);  // a new picture every paint
    return target_->paintLayer(LayerSlot::wordBackdrop, canvas.w, canvas.h, key, [&](Canvas& canvas) {
        ChasePictures pictures;
        if (chase) {
            // A chase that starts makes the pictures that failed before; one that fails its check
            // is kept empty and the vector fruit are drawn.
            const bool remake = backdrops_.wantPictures;
            auto emoji = [&canvas](std::string_view which) -> PictureMaker {
                return [&canvas, which]() -> std::unique_ptr<CanvasImage> {
                    std::unique_ptr<CanvasImage> picture = canvas.renderEmoji(which);
                    return picture && emojiSpriteDrawn(*picture) ? std::move(picture) : nullptr;
                };
            };
            pictures.peach = target_->keptPicture("peach", remake, emoji(kPeachEmoji));
            pictures.aubergine = target_->keptPicture("aubergine", remake, emoji(kAubergineEmoji));
            backdrops_.wantPictures = false;
        }
        backdropPainted_ = lumvo::paintBackdrops(canvas, backdrops_.pool, pulse, pictures);
        backdropPaintedSum_ += static_cast<std::uint64_t>(std::max(backdropPainted_, 0));
    });
}

bool Overlay::paintFlamesFor(Layer layer, const ComposeGeometry& geometry, SizeI card, double now) {
    // The feed's and the featured card's flames share one slot: each is painted just before it is
    // drawn, so the feed's are on the screen before the featured card's replace them.
    if (layer == Layer::feedFlames) {
        return flames_.paintFlames(*target_, geometry.chatTexture.w, geometry.chatTexture.h, hotRects_, now);
    }
    if (layer == Layer::featuredFlames) {
        const std::vector<RectF> rect{{14, 14, static_cast<float>(card.w - 28), static_cast<float>(card.h - 28)}};
        return flames_.paintFlames(*target_, card.w, card.h, rect, now);
    }
    return true;
}

}  // namespace lumvo
